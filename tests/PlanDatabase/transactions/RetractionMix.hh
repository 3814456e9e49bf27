#ifndef KADRIX_TESTS_TRANSACTIONS_RETRACTION_MIX_HH
#define KADRIX_TESTS_TRANSACTIONS_RETRACTION_MIX_HH

// Random transaction streams over the rover model that stress what a
// retraction changes beside what its element says: tokens ordered to
// themselves, orderings that insert, join and close cycles, cancels of
// ordered tokens and of their partners, activation again, frees of explicit
// and of implicit orderings, rejections, and deletions of inactive tokens and
// of facts. Every element of a stream plays: each one drawn is tried on a plan
// that has played the stream so far, and one that fails is dropped (the plan
// is then played again).

#include "RoundTrip.hh"

#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/component/Timeline.hh"

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    class RetractionMix {
    public:
      explicit RetractionMix(unsigned int seed) : m_random(seed) { restart(); }

      /** Draws elements until the stream has `length` of them besides its world; one element per line. */
      std::vector<std::string> stream(std::size_t length) {
        for (unsigned int draws = 0; m_elements.size() < WORLD + length && draws < 50 * length; ++draws)
          draw();
        return m_elements;
      }

    private:
      static const std::size_t WORLD = 4;

      unsigned int pick(std::size_t count) {
        return std::uniform_int_distribution<unsigned int>(0, static_cast<unsigned int>(count) - 1)(m_random);
      }
      bool chance(unsigned int percent) { return pick(100) < percent; }
      template <class T> const T& any(const std::vector<T>& items) { return items[pick(items.size())]; }

      /** A fresh plan that has played the elements kept so far. */
      void restart() {
        m_player.reset();
        m_plan.reset(new fuzz::LoggedPlan());
        m_player.reset(new DbClientTransactionPlayer(m_plan->db().getClient()));
        if (m_elements.empty())
          for (const char* world :
               {"<new type=\"Rover\" name=\"r0\"/>", "<new type=\"Rover\" name=\"r1\"/>",
                "<new type=\"Location\" name=\"l0\"><value type=\"int\" name=\"0\"/><value type=\"int\" "
                "name=\"0\"/></new>",
                "<new type=\"Location\" name=\"l1\"><value type=\"int\" name=\"3\"/><value type=\"int\" "
                "name=\"4\"/></new>"})
            m_elements.push_back(world);
        std::string all;
        for (const std::string& element : m_elements)
          all += element + "\n";
        std::istringstream is(all);
        m_player->play(is);
      }

      /** Keeps the element when it plays; otherwise plays the stream again without it. */
      void tryElement(const std::string& element) {
        try {
          std::istringstream is(element);
          m_player->play(is);
          m_elements.push_back(element);
        } catch (const Error&) {
          restart();
        }
      }

      TokenId token(const std::string& name) {
        try {
          return m_player->parseToken(name.c_str());
        } catch (const Error&) {
          return TokenId::noId();
        }
      }

      std::vector<std::string> tokensThat(bool (*which)(const TokenId&)) {
        std::vector<std::string> names;
        for (const std::string& name : m_names) {
          const TokenId found = token(name);
          if (found.isValid() && which(found))
            names.push_back(name);
        }
        return names;
      }

      static std::string ref(const std::string& name) { return "<token name=\"" + name + "\"/>"; }
      static std::string ordering(const char* tag, const std::string& rover, const std::string& predecessor,
                                  const std::string& successor) {
        return std::string("<") + tag + "><object name=\"" + rover + "\"/>" + ref(predecessor) +
               ref(successor) + "</" + tag + ">";
      }
      static std::string named(const char* tag, const std::string& name) {
        return std::string("<") + tag + ">" + ref(name) + "</" + tag + ">";
      }

      const Timeline& rover(const std::string& name) {
        return *dynamic_cast<const Timeline*>(static_cast<const Object*>(m_plan->db().getObject(name)));
      }

      /** The names of the active tokens that the rover may hold. */
      std::vector<std::string> placeable(const Timeline& timeline) {
        std::vector<std::string> names;
        for (const std::string& name : m_names) {
          const TokenId found = token(name);
          if (found.isValid() && found->isActive() && timeline.tokens().count(found) != 0)
            names.push_back(name);
        }
        return names;
      }

      void draw() {
        static const int s_weights[] = {3, 4, 5, 7, 5, 1, 1};
        int total = 0;
        for (int weight : s_weights)
          total += weight;
        int drawn = static_cast<int>(pick(static_cast<std::size_t>(total)));
        int kind = 0;
        while (drawn >= s_weights[kind])
          drawn -= s_weights[kind++];
        switch (kind) {
          case 0:
            return goal();
          case 1:
            return change("activate", [](const TokenId& t) { return t->isInactive(); });
          case 2:
            return change("cancel", [](const TokenId& t) { return !t->isInactive() && !t->isFact(); });
          case 3:
            return order();
          case 4:
            return free();
          case 5:
            return change("reject", [](const TokenId& t) { return t->isInactive(); });
          default:
            return deleteNewest();
        }
      }

      void goal() {
        if (m_names.size() >= 8)
          return;
        const std::string name = "t" + std::to_string(m_counter++);
        const char* type = chance(70) ? "Rover.drive" : "Rover.At";
        const char* tag = chance(15) ? "fact" : "goal";
        const std::size_t before = m_elements.size();
        tryElement(std::string("<") + tag + "><predicateinstance name=\"" + name + "\" type=\"" + type +
                   "\"/></" + tag + ">");
        if (m_elements.size() > before)
          m_names.push_back(name);
      }

      void change(const char* tag, bool (*which)(const TokenId&)) {
        const std::vector<std::string> names = tokensThat(which);
        if (!names.empty())
          tryElement(named(tag, any(names)));
      }

      /**
       * Orders a token to itself on an empty rover, else a token before or
       * after another: a waiting one next to a sequenced one (an insertion),
       * or two sequenced ones (a join, or a cycle).
       */
      void order() {
        const std::string name = chance(50) ? "r0" : "r1";
        const Timeline& timeline = rover(name);
        std::vector<std::string> sequenced, waiting;
        for (const std::string& candidate : placeable(timeline))
          (timeline.hasToken(token(candidate)) ? sequenced : waiting).push_back(candidate);
        std::string first, second;
        if (sequenced.empty() && !waiting.empty()) {
          first = any(waiting);
          second = chance(40) ? first : any(waiting);
        } else if (!sequenced.empty()) {
          first = any(sequenced);
          second = !waiting.empty() && chance(70) ? any(waiting) : any(sequenced);
          if (chance(50))
            std::swap(first, second);
        }
        if (!first.empty() && (first != second || sequenced.empty()))
          tryElement(ordering("constrain", name, first, second));
      }

      /** Frees an ordering that a rover holds, explicit or implicit, or a token from itself. */
      void free() {
        const std::string name = chance(50) ? "r0" : "r1";
        const Timeline& timeline = rover(name);
        std::vector<std::pair<std::string, std::string> > pairs;
        for (const std::string& first : m_names)
          for (const std::string& second : m_names) {
            const TokenId p = token(first), s = token(second);
            if (p.isValid() && s.isValid() && timeline.hasToken(p) && timeline.hasToken(s) &&
                (p == s || timeline.isConstrainedToPrecede(p, s)))
              pairs.emplace_back(first, second);
          }
        if (!pairs.empty()) {
          const std::pair<std::string, std::string>& pair = any(pairs);
          tryElement(ordering("free", name, pair.first, pair.second));
        }
      }

      void deleteNewest() {
        if (m_names.empty())
          return;
        const std::size_t before = m_elements.size();
        tryElement("<deletetoken><predicateinstance name=\"" + m_names.back() + "\"/></deletetoken>");
        if (m_elements.size() > before)
          m_names.pop_back();
      }

      std::mt19937 m_random;
      std::unique_ptr<fuzz::LoggedPlan> m_plan;
      std::unique_ptr<DbClientTransactionPlayer> m_player;
      std::vector<std::string> m_elements;
      std::vector<std::string> m_names; // of the tokens made and not deleted, oldest first
      unsigned int m_counter = 0;
    };

  }
}

#endif

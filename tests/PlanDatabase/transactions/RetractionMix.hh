#ifndef KADRIX_TESTS_TRANSACTIONS_RETRACTION_MIX_HH
#define KADRIX_TESTS_TRANSACTIONS_RETRACTION_MIX_HH

// Random transaction streams over the rover model that stress what a
// retraction changes beside what its element says: tokens ordered to
// themselves, orderings that insert, join and close cycles, cancels of
// ordered tokens and of their partners, activation again, frees of explicit
// and of implicit orderings, rejections, and deletions of inactive tokens and
// of facts. The wider mix draws these too, and besides them merges of
// inactive tokens onto active ones, values given to parameters and reset
// (of active and of merged tokens too), "eq" constraints over parameters and a
// few global variables: its values are chosen so that plans now and then
// become inconsistent. Every element of a stream plays: each one drawn is tried
// on a plan that has played the stream so far, and one that fails is dropped
// (the plan is then played again).

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
      /** What a mix draws. */
      enum class Draws {
        RETRACTIONS, // tokens, orderings and their retractions
        WIDER // those, and merges, values given and reset, constraints and global variables
      };

      explicit RetractionMix(unsigned int seed, Draws draws = Draws::RETRACTIONS)
        : m_random(seed), m_wider(draws == Draws::WIDER) {
        restart();
      }

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
      bool tryElement(const std::string& element) {
        try {
          std::istringstream is(element);
          m_player->play(is);
          m_elements.push_back(element);
          return true;
        } catch (const Error&) {
          restart();
          return false;
        }
      }

      /** What the player finds, or no handle where it refuses to find anything. */
      template <class Find> static auto orNone(Find find) -> decltype(find()) {
        try {
          return find();
        } catch (const Error&) {
          return decltype(find())::noId();
        }
      }

      TokenId token(const std::string& name) {
        return orNone([&]() { return m_player->parseToken(name.c_str()); });
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

      static bool isInactive(const TokenId& t) { return t->isInactive(); }
      static bool isActive(const TokenId& t) { return t->isActive(); }

      static std::string ref(const std::string& name) { return "<token name=\"" + name + "\"/>"; }
      static std::string id(const std::string& name) { return "<id name=\"" + name + "\"/>"; }
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

      /** A kind of element, with its weights in the two mixes; the wider mix's own kinds come last. */
      struct Kind {
        int weight;
        int widerWeight;
        void (RetractionMix::*draw)();
      };

      int weight(const Kind& kind) const { return m_wider ? kind.widerWeight : kind.weight; }

      void draw() {
        static const Kind s_kinds[] = {{3, 5, &RetractionMix::goal},         {4, 5, &RetractionMix::activate},
                                       {5, 3, &RetractionMix::cancel},       {7, 3, &RetractionMix::order},
                                       {5, 2, &RetractionMix::free},         {1, 2, &RetractionMix::reject},
                                       {1, 3, &RetractionMix::deleteNewest}, {0, 16, &RetractionMix::merge},
                                       {0, 4, &RetractionMix::specify},      {0, 4, &RetractionMix::reset},
                                       {0, 4, &RetractionMix::invoke},       {0, 1, &RetractionMix::global}};
        int total = 0;
        for (const Kind& kind : s_kinds)
          total += weight(kind);
        int drawn = static_cast<int>(pick(static_cast<std::size_t>(total)));
        const Kind* kind = s_kinds;
        while (drawn >= weight(*kind))
          drawn -= weight(*kind++);
        (this->*kind->draw)();
      }

      void activate() { change("activate", isInactive); }
      void cancel() {
        change("cancel", [](const TokenId& t) { return !t->isInactive() && !t->isFact(); });
      }
      void reject() { change("reject", isInactive); }

      /**
       * The predicate of a new token. The wider mix draws samples too, and
       * often the predicate of an active token, so that it has tokens to merge.
       */
      std::string predicate() {
        const std::vector<std::string> active = m_wider ? tokensThat(isActive) : std::vector<std::string>();
        if (!active.empty() && chance(50))
          return token(any(active))->getPredicateName().toString();
        return m_wider && chance(10) ? "Rover.sample" : chance(70) ? "Rover.drive" : "Rover.At";
      }

      /** A goal or a fact; the wider mix draws more facts. */
      void goal() {
        if (m_names.size() >= (m_wider ? 10u : 8u))
          return;
        const std::string name = "t" + std::to_string(m_counter++);
        const std::string type = predicate();
        const char* tag = chance(m_wider ? 25 : 15) ? "fact" : "goal";
        if (tryElement(std::string("<") + tag + "><predicateinstance name=\"" + name + "\" type=\"" + type +
                       "\"/></" + tag + ">"))
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

      /** Merges an inactive token onto an active one of its predicate. */
      void merge() {
        std::vector<std::pair<std::string, std::string> > pairs;
        for (const std::string& inactive : tokensThat(isInactive))
          for (const std::string& active : tokensThat(isActive))
            if (token(inactive)->getPredicateName() == token(active)->getPredicateName())
              pairs.emplace_back(inactive, active);
        if (!pairs.empty()) {
          const std::pair<std::string, std::string>& pair = any(pairs);
          tryElement("<merge>" + ref(pair.first) + ref(pair.second) + "</merge>");
        }
      }

      ConstrainedVariableId variable(const std::string& name) {
        return orNone([&]() { return m_player->parseVariable(name.c_str()); });
      }

      /** The names of the parameters of the tokens ("t3.speed") and of the global variables that pass. */
      std::vector<std::string> variablesThat(bool (*which)(const ConstrainedVariableId&)) {
        std::vector<std::string> names;
        for (const std::string& name : m_names) {
          const TokenId found = token(name);
          if (found.isValid())
            for (const ConstrainedVariableId& parameter : found->parameters())
              if (which(parameter))
                names.push_back(name + "." + parameter->getName().toString());
        }
        for (const std::string& name : m_globals)
          if (which(variable(name)))
            names.push_back(name);
        return names;
      }

      static bool anyVariable(const ConstrainedVariableId&) { return true; }
      static bool isSpecified(const ConstrainedVariableId& v) { return v->isSpecified(); }
      /** A merged token's parameters cannot be specified. */
      static bool specifiable(const ConstrainedVariableId& v) {
        return !TokenId::convertable(v->parent()) || !TokenId(v->parent())->isMerged();
      }

      /** A value of the variable's type; the few of them make tokens that share a variable disagree. */
      std::string value(const std::string& name) {
        static const std::vector<std::string> s_ints = {"16", "17", "60"};
        if (variable(name)->baseDomain().isEntity())
          return std::string("<object value=\"") + (chance(50) ? "l0" : "l1") + "\"/>";
        return "<value type=\"int\" name=\"" + any(s_ints) + "\"/>";
      }

      void specify() {
        const std::vector<std::string> names = variablesThat(specifiable);
        if (!names.empty()) {
          const std::string& name = any(names);
          tryElement("<specify>" + id(name) + value(name) + "</specify>");
        }
      }

      void reset() {
        const std::vector<std::string> names = variablesThat(isSpecified);
        if (!names.empty())
          tryElement("<reset>" + id(any(names)) + "</reset>");
      }

      /** An "eq" between two variables that hold the same type. */
      void invoke() {
        const std::vector<std::string> names = variablesThat(anyVariable);
        if (names.empty())
          return;
        const std::string first = any(names);
        const bool locations = variable(first)->baseDomain().isEntity();
        std::vector<std::string> others;
        for (const std::string& name : names)
          if (name != first && variable(name)->baseDomain().isEntity() == locations)
            others.push_back(name);
        if (!others.empty())
          tryElement("<invoke name=\"eq\">" + id(first) + id(any(others)) + "</invoke>");
      }

      /** A global variable, of at most two; "eq" constraints then tie it to parameters. */
      void global() {
        if (m_globals.size() >= 2)
          return;
        const std::string name = "g" + std::to_string(m_globals.size() + 1);
        if (tryElement("<var type=\"int\" name=\"" + name +
                       "\"><interval type=\"int\" min=\"0\" max=\"50\"/></var>"))
          m_globals.push_back(name);
      }

      void deleteNewest() {
        if (m_names.empty())
          return;
        if (tryElement("<deletetoken><predicateinstance name=\"" + m_names.back() + "\"/></deletetoken>"))
          m_names.pop_back();
      }

      std::mt19937 m_random;
      const bool m_wider;
      std::unique_ptr<fuzz::LoggedPlan> m_plan;
      std::unique_ptr<DbClientTransactionPlayer> m_player;
      std::vector<std::string> m_elements;
      std::vector<std::string> m_names; // of the tokens made and not deleted, oldest first
      std::vector<std::string> m_globals;
      unsigned int m_counter = 0;
    };

  }
}

#endif

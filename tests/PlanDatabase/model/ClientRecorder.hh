#ifndef KADRIX_TESTS_CLIENT_RECORDER_HH
#define KADRIX_TESTS_CLIENT_RECORDER_HH

// A client listener that writes down every notification it hears, one line
// each, for tests of what the client tells and when, and a fixture with one
// on the database's client.

#include "PlanDatabase/base/DbClientListener.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/base/DbClient.hh"
#include "PlanDatabase/model/TestTokens.hh"
#include "ConstraintEngine/base/Constraint.hh"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace KADRIX {
  namespace TestModel {

    /**
     * Lines read "<what> <subjects>": a token by its key, an object, a
     * variable or a constraint by its name. When probe is set, its text
     * follows after " | ": it looks at the plan while the listener is told,
     * to show whether a change was made before or after the notice.
     */
    class ClientRecorder : public DbClientListener {
    public:
      explicit ClientRecorder(const DbClientId& client) : DbClientListener(client) {}

      std::vector<std::string> log;
      std::function<std::string()> probe;

      /** The lines heard since the last call. */
      std::vector<std::string> heard() {
        std::vector<std::string> lines;
        lines.swap(log);
        return lines;
      }

      static std::string key(const TokenId& t) { return std::to_string(t->getKey()); }

      void notifyObjectCreated(const ObjectId& o) override { note("object " + o->getName().toString()); }
      void notifyObjectCreated(const ObjectId& o, const std::vector<const AbstractDomain*>& args) override {
        note("object " + o->getName().toString() + " args " + std::to_string(args.size()));
      }
      void notifyObjectDeleted(const ObjectId& o) override {
        note("objectDeleted " + o->getName().toString());
      }
      void notifyClosed() override { note("closed"); }
      void notifyClosed(const LabelStr& type) override { note("closed " + type.toString()); }
      void notifyTokenCreated(const TokenId& t) override { note("token " + key(t)); }
      void notifyTokenDeleted(const TokenId& t, const std::string& name) override {
        note("tokenDeleted " + key(t) + " '" + name + "'");
      }
      void notifyConstrained(const ObjectId& o, const TokenId& p, const TokenId& s) override {
        note("constrained " + o->getName().toString() + " " + key(p) + " " + key(s));
      }
      void notifyFreed(const ObjectId& o, const TokenId& p, const TokenId& s) override {
        note("freed " + o->getName().toString() + " " + key(p) + " " + key(s));
      }
      void notifyActivated(const TokenId& t) override { note("activated " + key(t)); }
      void notifyMerged(const TokenId& t, const TokenId& a) override {
        note("merged " + key(t) + " " + key(a));
      }
      void notifyRejected(const TokenId& t) override { note("rejected " + key(t)); }
      void notifyCancelled(const TokenId& t) override { note("cancelled " + key(t)); }
      void notifyConstraintCreated(const ConstraintId& c) override {
        note("constraint " + c->getName().toString());
      }
      void notifyConstraintDeleted(const ConstraintId& c) override {
        note("constraintDeleted " + c->getName().toString());
      }
      void notifyVariableCreated(const ConstrainedVariableId& v) override { note("variable " + name(v)); }
      void notifyVariableDeleted(const ConstrainedVariableId& v) override {
        note("variableDeleted " + name(v));
      }
      void notifyVariableSpecified(const ConstrainedVariableId& v) override { note("specified " + name(v)); }
      void notifyVariableRestricted(const ConstrainedVariableId& v) override {
        note("restricted " + name(v));
      }
      void notifyVariableClosed(const ConstrainedVariableId& v) override { note("varClosed " + name(v)); }
      void notifyVariableReset(const ConstrainedVariableId& v) override { note("reset " + name(v)); }

    private:
      static std::string name(const ConstrainedVariableId& v) { return v->getName().toString(); }
      void note(const std::string& line) { log.push_back(probe ? line + " | " + probe() : line); }
    };

    /** The token fixture with a recorder on the database's client. */
    class ClientFixture : public TokenFixture {
    protected:
      ClientFixture()
        : client(*(static_cast<DbClient*>(m_db->getClient()))), m_told(new ClientRecorder(m_db->getClient())),
          told(*m_told) {}

      DbClient& client;
      std::unique_ptr<ClientRecorder> m_told; // goes before the database
      ClientRecorder& told;
    };

  }
}

#endif

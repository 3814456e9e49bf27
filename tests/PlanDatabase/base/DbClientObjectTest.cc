#include "PlanDatabase/model/ClientRecorder.hh"

#include "ConstraintEngine/base/IntervalIntDomain.hh"
#include "PlanDatabase/base/ObjectDomain.hh"

#include <gtest/gtest.h>

namespace KADRIX {
  namespace TestModel {
    namespace {

      class DbClientObjectTest : public ClientFixture {
      protected:
        static std::string yesNo(bool b) { return b ? "yes" : "no"; }
      };

      TEST_F(DbClientObjectTest, ObjectsAreAnnouncedAfterCreationAndBeforeDeletion) {
        m_schema->registerObjectFactory((new TestObjectFactory("Wheel"))->getId());
        m_schema->registerObjectFactory((new TestObjectFactory("Battery:float"))->getId());
        DebugCapture capture("DbClient:");
        ObjectId w;
        told.probe = [&]() { return "listed " + yesNo(m_db->getObject("w").isId()); };
        w = client.createObject("Wheel", "w");
        const IntervalDomain charge(3, 3, "float");
        ObjectId b2 = client.createObject("Battery", "b2", {&charge});
        EXPECT_EQ((std::vector<std::string>{"object w | listed yes", "object b2 args 1 | listed yes"}),
                  told.heard());
        EXPECT_EQ(
            "[DbClient:createObject]" + w->toString() + "\n[DbClient:createObject]" + b2->toString() + "\n",
            capture.text());

        told.probe = [&]() { return "valid " + yesNo(w.isValid()); };
        client.deleteObject(w);
        EXPECT_EQ((std::vector<std::string>{"objectDeleted w | valid yes"}), told.heard());
        EXPECT_FALSE(w.isValid());
        EXPECT_EQ(ObjectId::noId(), m_db->getObject("w"));
      }

      TEST_F(DbClientObjectTest, ClosingIsAnnouncedAfterwards) {
        DebugCapture capture("DbClient:");
        told.probe = [&]() {
          return "wheels closed " + yesNo(m_db->isClosed("Wheel")) + ", all " + yesNo(m_db->isClosed());
        };
        client.close("Wheel");
        client.close();
        EXPECT_EQ((std::vector<std::string>{"closed Wheel | wheels closed yes, all no",
                                            "closed | wheels closed yes, all yes"}),
                  told.heard());
        EXPECT_EQ("[DbClient:close]Wheel\n[DbClient:close]CLOSE ALL TYPES\n", capture.text());
        EXPECT_CHECK_FAILS(client.close(), "m_state == OPEN", "");
        EXPECT_TRUE(told.log.empty());
      }

      TEST_F(DbClientObjectTest, VariablesAreGlobalUnlessTemporary) {
        DebugCapture capture("DbClient:");
        told.probe = [&]() { return "global g " + yesNo(client.isGlobalVariable("g")); };
        ConstrainedVariableId g = client.createVariable("int", "g", false);
        ConstrainedVariableId t = client.createVariable("int", "t", true);
        EXPECT_FALSE(client.isGlobalVariable("t"));
        EXPECT_EQ(g, client.getGlobalVariable("g"));
        EXPECT_EQ((std::vector<std::string>{"variable g | global g yes", "variable t | global g yes"}),
                  told.heard());

        // A taken global name is refused before the engine makes anything.
        const unsigned int slots = m_ce->variableSlotCount();
        EXPECT_CHECK_FAILS(client.createVariable("int", "g", false), "!isGlobalVariable(varName)",
                           "g is not unique.");
        EXPECT_CHECK_FAILS(client.createVariable("int", IntervalIntDomain(1, 2), "g", false, true),
                           "!isGlobalVariable(varName)", "g is not unique.");
        EXPECT_EQ(slots, m_ce->variableSlotCount());
        EXPECT_TRUE(told.log.empty());
        // A temporary variable may share a global's name; deleting it leaves the global.
        ConstrainedVariableId shadow = client.createVariable("int", "g", true);
        told.probe = [&]() {
          return "global g " + yesNo(client.isGlobalVariable("g")) + ", valid " + yesNo(shadow.isValid());
        };
        client.deleteVariable(shadow);
        EXPECT_EQ(g, client.getGlobalVariable("g"));

        client.deleteVariable(g);
        EXPECT_FALSE(g.isValid());
        EXPECT_EQ((std::vector<std::string>{"variable g | global g yes",
                                            "variableDeleted g | global g yes, valid yes",
                                            "variableDeleted g | global g no, valid no"}),
                  told.heard());
        EXPECT_TRUE(t.isValid());
        EXPECT_EQ("", capture.text());
      }

      TEST_F(DbClientObjectTest, ObjectVariablesHoldTheirTypesObjects) {
        ConstrainedVariableId all = client.createVariable("Rover", "all", true);
        EXPECT_EQ(4u, all->lastDomain().getSize()); // r1, r2, r3 and the car c1
        EXPECT_TRUE(holds(all, c1));
        ConstrainedVariableId one =
            client.createVariable("Rover", ObjectDomain(r2, "Rover"), "one", true, true);
        EXPECT_EQ(1u, one->lastDomain().getSize());
        ConstrainedVariableId open =
            client.createVariable("Rover", ObjectDomain("Rover"), "open", true, true);
        EXPECT_EQ(4u, open->lastDomain().getSize());
        // The open type keeps the filled variables in step; the closed domain stays as given.
        ObjectId r4 = make("Rover", "r4");
        EXPECT_TRUE(holds(all, r4));
        EXPECT_TRUE(holds(open, r4));
        EXPECT_FALSE(holds(one, r4));

        told.log.clear();
        told.probe = [&]() { return "closed " + yesNo(open->isClosed()); };
        client.close(open);
        EXPECT_EQ((std::vector<std::string>{"varClosed open | closed yes"}), told.heard());
      }

      TEST_F(DbClientObjectTest, OwnedVariablesAndConstraintsAreNotDeletedByHand) {
        TokenId t = drive();
        const ConstraintId relation = *t->getStandardConstraints().begin();
        EXPECT_CHECK_FAILS(
            client.deleteVariable(t->start()), "var->parent().isNoId()",
            "Cannot delete " + t->start()->toString() + ": it belongs to its parent, which deletes it.");
        EXPECT_CHECK_FAILS(client.deleteConstraint(relation),
                           "owner.isNoId() || !owner->isStandardConstraint(c)",
                           "Cannot delete " + relation->toString() + ": it belongs to token " +
                               t->toString() + ", which deletes it.");
        EXPECT_TRUE(told.log.empty());
        EXPECT_TRUE(relation.isValid());
        // A constraint a caller made on a token's variables is the caller's.
        ConstraintId own = client.createConstraint("precedes", {t->start(), t->end()});
        client.deleteConstraint(own);
        EXPECT_FALSE(own.isValid());
      }

      TEST_F(DbClientObjectTest, VariableChangesAreMadeThenAnnounced) {
        ConstrainedVariableId x =
            client.createVariable("int", IntervalIntDomain(0, 10, "int"), "x", true, true);
        ConstrainedVariableId y =
            client.createVariable("int", IntervalIntDomain(0, 10, "int"), "y", true, true);
        told.log.clear();
        told.probe = [&]() {
          std::ostringstream os;
          os << x->baseDomain() << " " << x->lastDomain();
          return os.str();
        };
        DebugCapture capture("DbClient:");
        ConstraintId eq = client.createConstraint("eq", {x, y});
        const std::string xBefore = x->toString();
        client.restrict(x, IntervalIntDomain(2, 8, "int"));
        const std::string xRestricted = x->toString();
        client.specify(x, 3);
        const std::string xSpecified = x->toString();
        client.reset(x);
        client.close(x);
        const std::string wide = IntervalIntDomain(0, 10, "int").toString();
        const std::string narrow = IntervalIntDomain(2, 8, "int").toString();
        const std::string three = IntervalIntDomain(3, 3, "int").toString();
        EXPECT_EQ((std::vector<std::string>{
                      "constraint eq | " + wide + " " + wide, "restricted x | " + narrow + " " + narrow,
                      "specified x | " + narrow + " " + three, "reset x | " + narrow + " " + narrow,
                      "varClosed x | " + narrow + " " + narrow}),
                  told.heard());
        EXPECT_EQ("[DbClient:createConstraint]" + eq->toString() +
                      "\n"
                      "[DbClient:restrict]" +
                      xBefore + " to " + IntervalIntDomain(2, 8, "int").toString() +
                      "\n"
                      "[DbClient:specify]before:" +
                      xRestricted + " to " + x->toString(3) +
                      "\n"
                      "[DbClient:specify]after:" +
                      xSpecified +
                      "\n"
                      "[DbClient:reset]before:" +
                      xSpecified +
                      "\n"
                      "[DbClient:reset]after:" +
                      xRestricted +
                      "\n"
                      "[DbClient:close]" +
                      x->toString() + "\n",
                  capture.text());

        told.probe = [&]() { return "valid " + yesNo(eq.isValid()); };
        client.deleteConstraint(eq);
        EXPECT_EQ((std::vector<std::string>{"constraintDeleted eq | valid yes"}), told.heard());
        EXPECT_FALSE(eq.isValid());
      }

    }
  }
}

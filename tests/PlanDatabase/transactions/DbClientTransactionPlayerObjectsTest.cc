#include "PlanDatabase/transactions/PlayerHandlerFixture.hh"

#include "ConstraintEngine/base/AbstractDomain.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "rover/PlanText.hh"

namespace KADRIX {
  namespace TestModel {
    namespace {

      class PlayerObjectsTest : public PlayerHandlerFixture {
      protected:
        std::string index(const ConstrainedVariableId& var) {
          return std::to_string(client().getIndexByVariable(var));
        }
        std::string index(const ConstraintId& constraint) {
          return std::to_string(client().getIndexByConstraint(constraint));
        }
      };

      TEST_F(PlayerObjectsTest, ObjectsAreCreatedByNameOrNumberAndDeletedByName) {
        play("<new type=\"Rover\"/><new type=\"Rover\" name=\"r\"/><new type=\"Rover\"/>");
        EXPECT_EQ(m_calls.take(), "object object object");
        for (const char* name : {"$OBJECT[0]", "r", "$OBJECT[1]"})
          EXPECT_TRUE(m_plan.db()->getObject(name).isValid()) << name;
        play("<deleteobject name=\"r\"/>");
        EXPECT_EQ(m_calls.take(), "objectDeleted");
        EXPECT_TRUE(m_plan.db()->getObject("r").isNoId());
        expectPlayFailures(
            {{"<deleteobject/>", "name != NULL", ""}, {"<deleteobject name=\"r\"/>", "obj.isValid()", ""}});
      }

      TEST_F(PlayerObjectsTest, AnObjectThatAVariableWouldKeepIsNotDeleted) {
        given(ROVER_WORLD + goal("at", "Rover.At") +
              "<var type=\"Location\" name=\"fixed\"><object value=\"rock1\"/></var>"
              "<var type=\"Location\" name=\"open\"/><var type=\"Location\" name=\"chosen\"/>"
              "<specify><id name=\"chosen\"/><object value=\"rock2\"/></specify>");
        const ObjectId rock1 = m_plan.db()->getObject("rock1"), rock2 = m_plan.db()->getObject("rock2");
        // Refused before anyone is told: a closed domain, or a specified value, would keep it.
        const ConstrainedVariableId at = variable("at.at");
        ASSERT_TRUE(at->isClosed());
        const auto expectRefused = [&](const char* object, const ConstrainedVariableId& holder) {
          EXPECT_CHECK_FAILS(play(std::string("<deleteobject name=\"") + object + "\"/>"),
                             "holder.first.isNoId()",
                             std::string("Object ") + object + " cannot be deleted while the variable " +
                                 holder->toString() + " holds it.");
          EXPECT_EQ(m_calls.take(), "");
        };
        expectRefused("rock1", at);
        given("<deletetoken><predicateinstance name=\"at\"/></deletetoken>");
        expectRefused("rock1", variable("fixed"));
        expectRefused("rock2", variable("chosen"));
        // An open object variable follows the type and loses the value.
        play("<reset><id name=\"chosen\"/></reset><deleteobject name=\"rock2\"/>");
        EXPECT_FALSE(variable("open")->baseDomain().isMember(static_cast<double>(rock2)));
        EXPECT_TRUE(variable("open")->baseDomain().isMember(static_cast<double>(rock1)));
      }

      TEST_F(PlayerObjectsTest, DeletionsTellOfTheConstraintsTheyTake) {
        given(ROVER_WORLD + goal("a", "Rover.drive") +
              "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>"
              "<invoke name=\"eq\"><id name=\"v\"/><value type=\"int\" name=\"3\"/></invoke>"
              "<invoke name=\"eq\"><id name=\"a.speed\"/><id name=\"v\"/></invoke>");
        const std::pair<unsigned int, unsigned int> before = RoverModel::engineCounts(m_plan.engine());
        // The constraints a caller made go first, newest first, with the variable made for the value; then
        // the variable.
        play("<deletevar name=\"v\"/>");
        EXPECT_EQ(m_calls.take(), "constraintDeleted constraintDeleted variableDeleted variableDeleted");
        EXPECT_EQ(std::make_pair(before.first - 2, before.second - 2),
                  RoverModel::engineCounts(m_plan.engine()));
      }

      TEST_F(PlayerObjectsTest, GlobalVariablesComeAndGo) {
        DebugCapture debug("DbClientTransactionPlayer:playVariable");
        given(ROVER_WORLD + goal("a", "Rover.drive"));
        play(
            "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>"
            "<var type=\"int\" name=\"w\"/><var type=\"int\" name=\"x\" index=\"77\"/>"
            "<var type=\"Location\" name=\"rock9\"><new type=\"Location\" name=\"rock9\">"
            "<value type=\"int\" name=\"1\"/><value type=\"int\" name=\"2\"/></new></var>");
        EXPECT_EQ(m_calls.take(), "variable variable variable object variable");
        const ConstrainedVariableId v = variable("v"), w = variable("w"), x = variable("x");
        ASSERT_TRUE(v.isValid() && w.isValid() && x.isValid());
        EXPECT_EQ(v->baseDomain().getUpperBound(), 10);
        EXPECT_EQ(m_plan.db()->getGlobalVariable("w"), w);
        const ObjectId rock9 = m_plan.db()->getObject("rock9");
        EXPECT_EQ(variable("rock9")->baseDomain().getSingletonValue(), static_cast<double>(rock9));
        EXPECT_NE(
            debug.text().find("[DbClientTransactionPlayer:playVariableCreated]after xmlAsCreateVariable "
                              "var = v type = int domain typeName =  " +
                              v->baseDomain().getTypeName().toString() + "\n"),
            std::string::npos);

        const ConstrainedVariableId speed = variable("a.speed");
        expectPlayFailures(
            {{"<var type=\"int\"/>", "name != NULL", ""},
             {"<var name=\"y\"/>", "type != NULL", ""},
             {"<var type=\"int\" name=\"v\"/>", "!isGlobalVariable(varName)", "v is not unique."},
             {"<deletevar index=\"0\"/>", "name != NULL", ""},
             {"<deletevar name=\"nosuch\"/>", "m_client->isGlobalVariable(name)", ""},
             {"<deletevar name=\"v\" index=\"1x\"/>", "decimal", "Index '1x' is not a decimal number."},
             {"<deletevar name=\"v\" index=\"99999999999\"/>", "decimal",
              "Index '99999999999' is not a decimal number."},
             {"<deletevar name=\"v\" index=\"99999\"/>", "var.isValid()", ""},
             // A child that names no object fails before the variable goes.
             {"<deletevar name=\"v\"><new type=\"Location\"/></deletevar>", "name != NULL", ""},
             {"<deletevar name=\"v\"><new type=\"Location\" name=\"nowhere\"/></deletevar>", "obj.isValid()", ""},
             // No relaxation could ever give it a value.
             {"<var type=\"int\" name=\"e\"><interval type=\"int\" min=\"5\" max=\"4\"/></var>",
              "!baseDomain.isEmpty() || baseDomain.isOpen()",
              "Cannot create variable e with the empty domain int:CLOSED[]"}});
        // Only the global of the element's name goes: not a token's variable, nor another global.
        for (const ConstrainedVariableId& other : {speed, w}) {
          const std::string at = index(other);
          EXPECT_CHECK_FAILS(play("<deletevar name=\"v\" index=\"" + at + "\"/>"),
                             "!var.isValid() || (m_client->isGlobalVariable(name) && "
                             "m_client->getGlobalVariable(name) == var)",
                             "The variable at index " + at + " is not the global variable 'v'.");
        }
        EXPECT_EQ(m_calls.take(), "");
        EXPECT_TRUE(speed.isValid() && w.isValid());

        play("<deletevar name=\"w\"/><deletevar name=\"v\" index=\"" + index(v) +
             "\"/>"
             "<deletevar name=\"rock9\"><new type=\"Location\" name=\"rock9\"/></deletevar>");
        // The variable goes before the object it may hold.
        EXPECT_EQ(m_calls.take(), "variableDeleted variableDeleted variableDeleted objectDeleted");
        EXPECT_FALSE(v.isValid() || w.isValid());
        EXPECT_TRUE(m_plan.db()->getObject("rock9").isNoId());
        for (const char* name : {"v", "w", "rock9"})
          EXPECT_TRUE(variable(name).isNoId()) << name;
        EXPECT_EQ(m_plan.db()->getGlobalVariables().size(), 1u);
      }

      TEST_F(PlayerObjectsTest, SpecifyRestrictAssignAndReset) {
        given(ROVER_WORLD + goal("a", "Rover.drive") +
              "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>");
        const ConstrainedVariableId speed = variable("a.speed"), to = variable("a.to"), v = variable("v");
        struct Step {
          const char* xml;
          const char* calls;
          ConstrainedVariableId var;
          bool specified;
          double lower, upper; // of the base domain
        };
        const double rock1 = static_cast<double>(m_plan.db()->getObject("rock1"));
        for (const Step& s : std::vector<Step>{
                 {"<specify><id name=\"a.speed\"/><value type=\"int\" name=\"5\"/></specify>", "specified",
                  speed, true, 0, 100},
                 {"<reset><id name=\"a.speed\"/></reset>", "reset", speed, false, 0, 100},
                 // A value that is no singleton restricts instead.
                 {"<specify><id name=\"a.speed\"/><set><value type=\"int\" name=\"3\"/>"
                  "<value type=\"int\" name=\"4\"/></set></specify>",
                  "restricted", speed, false, 3, 4},
                 {"<specify><id name=\"a.to\"/><object value=\"rock1\"/></specify>", "specified", to, true, 0,
                  0},
                 {"<invoke name=\"specify\" identifier=\"v\"><value type=\"int\" name=\"7\"/></invoke>",
                  "specified", v, true, 0, 10},
                 {"<invoke name=\"reset\" identifier=\"v\"/>", "reset", v, false, 0, 10},
                 {"<restrict><id name=\"v\"/><interval type=\"int\" min=\"2\" max=\"4\"/></restrict>",
                  "restricted", v, false, 2, 4},
                 // Straight to the variable: no client call.
                 {"<assign name=\"v\"><interval type=\"int\" min=\"3\" max=\"5\"/></assign>", "", v, false, 3,
                  4}}) {
          SCOPED_TRACE(s.xml);
          play(s.xml);
          EXPECT_EQ(m_calls.take(), s.calls);
          EXPECT_EQ(s.var->isSpecified(), s.specified);
          if (s.var != to) {
            EXPECT_EQ(s.var->baseDomain().getLowerBound(), s.lower);
            EXPECT_EQ(s.var->baseDomain().getUpperBound(), s.upper);
          }
        }
        EXPECT_EQ(to->getSpecifiedValue(), rock1);

        DebugCapture debug("DbClientTransactionPlayer:playVariable");
        play(
            "<reset><id name=\"a.to\"/></reset>"
            "<assign name=\"v\"><value type=\"int\" name=\"4\"/></assign>");
        EXPECT_EQ(debug.text(),
                  "[DbClientTransactionPlayer:playVariableReset]Playing <reset><id name=\"a.to\" /></reset>\n"
                  "[DbClientTransactionPlayer:playVariableReset]Played <reset><id name=\"a.to\" /></reset>\n"
                  "[DbClientTransactionPlayer:playVariableAssigned]assigning for v\n"
                  "[DbClientTransactionPlayer:playVariableAssigned]found variable " +
                      std::to_string(v->getKey()) +
                      "\n"
                      "[DbClientTransactionPlayer:playVariableAssigned]specifying to " +
                      v->baseDomain().toString() + "\n");
        m_calls.take();

        const char* noIdentifier = "element.Attribute(\"identifier\") != NULL";
        const char* reference =
            "strcmp(var_el->Value(), \"variable\") == 0 || strcmp(var_el->Value(), \"id\") == 0";
        const char* deprecated = "strcmp(variable.Value(), \"ident\") != 0";
        expectPlayFailures(
            {{"<specify/>", "var_el != NULL", ""},
             {"<specify><id name=\"nosuch\"/><value type=\"int\" name=\"5\"/></specify>", "var.isValid()",
              "No variable named nosuch"},
             {"<specify><id name=\"v\"/></specify>", "value_el != NULL", ""},
             {"<invoke name=\"specify\"><value type=\"int\" name=\"5\"/></invoke>", noIdentifier, ""},
             {"<invoke name=\"specify\" identifier=\"v\"/>", "value_el != NULL", ""},
             {"<restrict/>", "var_el != NULL", ""},
             {"<restrict><id name=\"nosuch\"/><value type=\"int\" name=\"5\"/></restrict>", "var.isValid()",
              "No variable named nosuch"},
             {"<restrict><id name=\"v\"/></restrict>", "value_el != NULL", ""},
             {"<assign/>", "name != NULL", ""},
             {"<assign name=\"nosuch\"><value type=\"int\" name=\"5\"/></assign>", "var.isValid()", ""},
             {"<assign name=\"v\"/>", "value_el != NULL", ""},
             {"<reset/>", "var_el != NULL", ""},
             {"<reset><id name=\"nosuch\"/></reset>", "var.isValid()", "No variable named nosuch"},
             {"<invoke name=\"reset\"/>", noIdentifier, ""},
             // A value would make a variable that nothing else knows, and no log records.
             {"<reset><value type=\"int\" name=\"5\"/></reset>", reference,
              "A variable to change is named by a \"variable\" or an \"id\" element: <reset><value "
              "type=\"int\" name=\"5\" /></reset>"},
             {"<restrict><new type=\"Rover\" name=\"r9\"/><value type=\"int\" name=\"5\"/></restrict>",
              reference,
              "A variable to change is named by a \"variable\" or an \"id\" element: <restrict><new "
              "type=\"Rover\" name=\"r9\" /><value type=\"int\" name=\"5\" /></restrict>"},
             {"<reset><ident name=\"v\"/></reset>", deprecated, "ident in transaction xml is deprecated"},
             {"<restrict><ident name=\"v\"/><value type=\"int\" name=\"5\"/></restrict>", deprecated,
              "ident in transaction xml is deprecated"}});
        EXPECT_TRUE(m_plan.db()->getObject("r9").isNoId());
        EXPECT_EQ(m_calls.take(), "");

        // Resetting a variable that is not specified changes nothing: nobody is told.
        given("<var type=\"int\" name=\"u\"/>");
        play("<reset><id name=\"u\"/></reset>");
        EXPECT_EQ(m_calls.take(), "");
      }

      TEST_F(PlayerObjectsTest, InvokeMakesConstraintsOrPlaysTransactions) {
        given(ROVER_WORLD + goal("a", "Rover.drive") +
              "<var type=\"int\" name=\"v\"><interval type=\"int\" min=\"0\" max=\"10\"/></var>"
              "<var type=\"int\" name=\"w\"><interval type=\"int\" min=\"5\" max=\"20\"/></var>");
        const ConstrainedVariableId v = variable("v"), w = variable("w");
        const std::string args = w->toString() + "," + v->toString() + ",";
        {
          DebugCapture debug("DbClientTransactionPlayer:playInvokeConstraint");
          play("<invoke name=\"eq\"><id name=\"w\"/><id name=\"v\"/></invoke>");
          EXPECT_EQ(debug.text(),
                    "[DbClientTransactionPlayer:playInvokeConstraint]Adding constraint eq args: " + args +
                        "\n"
                        "[DbClientTransactionPlayer:playInvokeConstraint]Added constraint eq args: " +
                        args + "\n");
        }
        // A value stands for a new anonymous variable.
        play("<invoke name=\"eq\"><id name=\"v\"/><value type=\"int\" name=\"7\"/></invoke>");
        EXPECT_EQ(m_calls.take(), "constraint variable constraint");
        ASSERT_EQ(m_calls.created.size(), 2u);
        EXPECT_EQ(m_calls.created[0]->getScope(), std::vector<ConstrainedVariableId>({w, v}));
        const ConstrainedVariableId seven = m_calls.created[1]->getScope()[1];
        EXPECT_EQ(seven->getName().toString(), "$VAR[0]");
        EXPECT_EQ(v->lastDomain().getSingletonValue(), 7);

        // The children are read in document order: the first bad one decides.
        expectPlayFailures({{"<invoke name=\"eq\"><id name=\"v\"/><id name=\"nosuch\"/></invoke>",
                             "var.isValid()", "No variable named nosuch"},
                            {"<invoke name=\"eq\"><value type=\"int\"/><variable index=\"-1\"/></invoke>",
                             "name != NULL", "missing name for domain in transaction XML"},
                            {"<invoke name=\"eq\"><variable index=\"-1\"/><value type=\"int\"/></invoke>",
                             "0 <= index", ""},
                            {"<invoke name=\"eq\" identifier=\"v\"><id name=\"w\"/></invoke>", "ALWAYS_FAILS",
                             "unexpected transaction invoked: 'eq'"},
                            {"<invoke name=\"eq\"/>", "ALWAYS_FAILS", "unexpected transaction invoked: 'eq'"},
                            {"<invoke><id name=\"v\"/></invoke>", "name != NULL", ""}});
        EXPECT_EQ(m_calls.created.size(), 2u);
        // The variables made for the values read before the bad child go again.
        const std::pair<unsigned int, unsigned int> counts = RoverModel::engineCounts(m_plan.engine());
        EXPECT_CHECK_FAILS(play("<invoke name=\"eq\"><value type=\"int\" name=\"1\"/><value type=\"int\" "
                                "name=\"2\"/><variable index=\"-1\"/></invoke>"),
                           "0 <= index", "");
        EXPECT_EQ(m_calls.take(), "variable variable variableDeleted variableDeleted");
        EXPECT_EQ(RoverModel::engineCounts(m_plan.engine()), counts);

        play("<invoke name=\"close\" identifier=\"Location\"/>");
        EXPECT_TRUE(m_plan.db()->isClosed(LabelStr("Location")));
        play("<invoke name=\"close\"/>");
        EXPECT_TRUE(m_plan.db()->isClosed());
        EXPECT_EQ(m_calls.take(), "closed closed");
      }

      TEST_F(PlayerObjectsTest, AVariableMadeForAValueBelongsToItsConstraintAlone) {
        given(
            "<var type=\"int\" name=\"v\"/><invoke name=\"eq\"><id name=\"v\"/><value type=\"int\" "
            "name=\"3\"/></invoke>");
        const ConstrainedVariableId made = m_calls.created.at(0)->getScope().at(1);
        const std::string stream =
            "<invoke name=\"eq\"><id name=\"v\"/><variable index=\"" + index(made) + "\"/></invoke>";
        expectPlayFailures({{stream, "!var.isValid() || !var->isInternal() || var->parent().isValid()",
                             "A variable made for a value of another constraint cannot be in a scope: "
                             "<invoke name=\"eq\"><id name=\"v\" /><variable index=\"" +
                                 index(made) + "\" /></invoke>"}});
      }

      TEST_F(PlayerObjectsTest, ANewInsideAnotherElementMakesAnObjectNamedByTheCounter) {
        given(ROVER_WORLD + "<var type=\"Location\" name=\"l\"/>");
        const std::string location =
            "<new type=\"Location\"><value type=\"int\" name=\"5\"/><value type=\"int\" name=\"6\"/></new>";
        play("<specify><id name=\"l\"/>" + location + "</specify>");
        EXPECT_EQ(m_calls.take(), "object specified");
        const ObjectId first = m_plan.db()->getObject("$OBJECT[0]");
        ASSERT_TRUE(first.isValid());
        EXPECT_EQ(variable("l")->getSpecifiedValue(), static_cast<double>(first));
        play("<invoke name=\"eq\"><id name=\"l\"/>" + location + "</invoke>");
        EXPECT_EQ(m_calls.take(), "object variable constraint");
        EXPECT_TRUE(m_plan.db()->getObject("$OBJECT[1]").isValid());
        // Without a type nothing is made, and no number is taken.
        expectPlayFailures({{"<specify><id name=\"l\"/><new/></specify>", "type != NULL", ""},
                            {"<invoke name=\"eq\"><id name=\"l\"/><new/></invoke>", "type != NULL", ""}});
        play("<new type=\"Rover\"/>");
        EXPECT_TRUE(m_plan.db()->getObject("$OBJECT[2]").isValid());
      }

      TEST_F(PlayerObjectsTest, DeleteConstraintChecksIndexNameAndOwner) {
        given(ROVER_WORLD + goal("a", "Rover.drive") +
              "<var type=\"int\" name=\"v\"/><var type=\"int\" name=\"w\"/>"
              "<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke>");
        const ConstraintId eq = m_calls.created.at(0);
        const ConstraintId owned = *token("a")->getStandardConstraints().begin();
        const std::string at = index(eq), ownedAt = index(owned);
        // A scope, where one is given, must be the constraint's: undoing the deletion reads it.
        const auto otherScope = [&](const std::string& children) {
          const std::string element =
              "<deleteconstraint name=\"eq\" index=\"" + at + "\">" + children + "</deleteconstraint>";
          std::string written = element; // as the message prints it
          for (std::size_t end = 0; (end = written.find("/>", end)) != std::string::npos; end += 3)
            written.insert(end, " ");
          return Failure{element,
                         "ScopeText(*this, element).describes(constraint)",
                         "The constraint at index " + at + " is " + eq->toString() +
                             ", not the one over the scope of " + written};
        };
        expectPlayFailures(
            {{"<deleteconstraint/>", "index != NULL", ""},
             {"<deleteconstraint index=\"-1\"/>", "decimal", "Index '-1' is not a decimal number."},
             {"<deleteconstraint index=\"99999\"/>", "constraint.isValid()", "No constraint at index 99999."},
             {"<deleteconstraint name=\"neq\" index=\"" + at + "\"/>",
              "name == NULL || constraint->getName() == LabelStr(name)",
              "The constraint at index " + at + " is " + eq->toString() + ", not neq."},
             {"<deleteconstraint name=\"" + owned->getName().toString() + "\" index=\"" + ownedAt + "\">" +
                  scopeText(owned) + "</deleteconstraint>",
              "owner.isNoId() || !owner->isStandardConstraint(c)",
              "Cannot delete " + owned->toString() + ": it belongs to token " + token("a")->toString() +
                  ", which deletes it."},
             otherScope("<id name=\"w\"/><id name=\"v\"/>"), otherScope("<id name=\"v\"/>"),
             otherScope("<id name=\"v\"/><id name=\"nowhere\"/>"),
             otherScope("<id name=\"v\"/><value type=\"int\" name=\"3\"/>"), otherScope("<id/><id/>")});
        EXPECT_TRUE(owned.isValid());
        EXPECT_TRUE(eq.isValid());
        // The index alone finds the constraint; a name and a scope are optional.
        for (const char* form : {"<deleteconstraint index=\"%\"/>", "<deleteconstraint name=\"eq\" index=\"%\"/>",
                                 "<deleteconstraint index=\"%\"><id name=\"v\"/><id name=\"w\"/></deleteconstraint>",
                                 "<deleteconstraint name=\"eq\" index=\"%\"><id name=\"v\"/><id "
                                 "name=\"w\"/></deleteconstraint>"}) {
          SCOPED_TRACE(form);
          given("<invoke name=\"eq\"><id name=\"v\"/><id name=\"w\"/></invoke>");
          const ConstraintId made = m_calls.created.back();
          std::string element(form);
          element.replace(element.find('%'), 1, index(made));
          play(element);
          EXPECT_EQ(m_calls.take(), "constraintDeleted");
          EXPECT_FALSE(made.isValid());
        }
      }

    }
  }
}

#include "PlanDatabase/transactions/PlayerFixture.hh"

#include "ConstraintEngine/base/BoolDomain.hh"
#include "ConstraintEngine/base/ConstraintEngine.hh"
#include "ConstraintEngine/base/IntervalDomain.hh"
#include "ConstraintEngine/base/StringDomain.hh"
#include "ConstraintEngine/base/SymbolDomain.hh"
#include "PlanDatabase/base/Object.hh"
#include "PlanDatabase/base/ObjectDomain.hh"
#include "PlanDatabase/base/PlanDatabase.hh"
#include "PlanDatabase/base/Schema.hh"
#include "PlanDatabase/base/Token.hh"
#include "PlanDatabase/model/TestObjects.hh"
#include "PlanDatabase/transactions/DbClientTransactionLog.hh"

#include <list>

namespace KADRIX {
  namespace TestModel {
    namespace {

      /**
       * Locations l1 and l2, the rover r1, a depot d whose member "rover" is
       * the rover d.rover, and the token t (Rover.At, path 0) made through the
       * client with logging on.
       */
      class PlayerValuesTest : public PlayerFixture {
      protected:
        PlayerValuesTest() {
          m_plan.schema()->addObjectType("Depot");
          m_plan.schema()->addMember("Depot", "Rover", "rover");
          l1 = m_plan.location("l1", 1, 2);
          l2 = m_plan.location("l2", 3, 4);
          r1 = m_plan.rover("r1");
          depot = (new TestModel::TestObject(m_plan.db(), "Depot", "d"))->getId();
          depotRover = m_plan.rover("d.rover");
          client().enableTransactionLogging();
          t = client().createToken("Rover.At", true, false);
          player().m_tokens["t"] = t;
        }

        std::string domainOf(const std::string& text, const char* name = nullptr) {
          std::unique_ptr<const AbstractDomain> d(player().xmlAsAbstractDomain(*xml(text), name, nullptr));
          return describe(*d);
        }

        ConstrainedVariableId variableOf(const std::string& text) {
          return player().xmlAsVariable(*xml(text));
        }

        /** A global variable over the domain, entered in the player's table under the name. */
        ConstrainedVariableId named(const char* name, const AbstractDomain& domain) {
          const ConstrainedVariableId var =
              client().createVariable(domain.getTypeName().c_str(), domain, name, false, true);
          player().m_variables[name] = var;
          return var;
        }

        ObjectId l1, l2, r1, depot, depotRover;
        TokenId t;
      };

      TEST_F(PlayerValuesTest, ValuesReadFromEveryForm) {
        struct Case {
          const char* element;
          double value;
        };
        const Case cases[] = {
            {"<value type='int' name='5'/>", 5},
            {"<value type='bool' name='true'/>", 1},
            {"<value type='float' name='-inf'/>", -g_infiniteTime()},
            {"<symbol type='string' value='hello'/>", LabelStr("hello")},
            {"<object value='l1'/>", static_cast<double>(l1)},
            {"<rover value='r1'/>", static_cast<double>(r1)},
        };
        for (const Case& c : cases)
          EXPECT_EQ(c.value, player().xmlAsValue(*xml(c.element), nullptr)) << c.element;
      }

      TEST_F(PlayerValuesTest, NewElementsCreateObjectsNamedOrNumbered) {
        const char* location =
            "<new type='Location'><value type='int' name='7'/><value type='int' name='8'/></new>";
        const ObjectId first(player().xmlAsValue(*xml(location), nullptr));
        EXPECT_EQ("$OBJECT[0]", first->getName().toString());
        EXPECT_EQ(8, static_cast<RoverModel::Location*>(first)->y());
        const ObjectId named(player().xmlAsValue(*xml(location), "home"));
        EXPECT_EQ("home", named->getName().toString());
        // As a value a "new" without type fails after it has taken its number; as a domain before.
        EXPECT_CHECK_FAILS(player().xmlAsValue(*xml("<new/>"), nullptr), "type != NULL", "");
        EXPECT_CHECK_FAILS(domainOf("<new/>", "n2"), "type != NULL", "");
        EXPECT_EQ("Location objects {n3}", domainOf(location, "n3"));
        // Read for no variable (a specified value, a constructor argument, a scope), it is named by the counter.
        EXPECT_EQ("Location objects {$OBJECT[2]}", domainOf(location));
        // A constructor argument is made first, and stays when the object cannot be made.
        EXPECT_THROW(player().xmlAsValue(*xml(std::string("<new type='Rover'>") + location + "</new>"), "r9"),
                     Error);
        EXPECT_TRUE(client().getObject("$OBJECT[3]").isValid());
        EXPECT_TRUE(client().getObject("r9").isNoId());
      }

      TEST_F(PlayerValuesTest, ValueFailures) {
        expectFailures(
            {
                {"<value name='5'/>", "type_st != NULL", "missing type for value in transaction XML"},
                {"<value type='int'/>", "name_st != NULL", "missing name for value in transaction XML"},
                {"<symbol type='string'/>", "value_st != NULL", "missing value in transaction xml"},
                {"<symbol value='x'/>", "type_st != NULL", "missing type for symbol 'x' in transaction xml"},
                {"<object value='nobody'/>", "object.isValid()", ""},
                {"<string value='nobody'/>", "ALWAYS_FAILS", ""},
                {"<value type='int' name='five'/>", "isNumber", "Cannot read 'five' as a value of type int."},
                // Arguments read before a failing one are freed.
                {"<new type='Location'><value type='int' name='1'/><value name='2'/></new>", "type != NULL",
                 "missing type for domain in transaction XML"},
            },
            [this](const std::string& s) { player().xmlAsValue(*xml(s), nullptr); });
      }

      TEST_F(PlayerValuesTest, DomainsReadFromEveryForm) {
        const ConstrainedVariableId v = named("v", IntervalIntDomain(2, 4, "int"));
        struct Case {
          const char* element;
          const char* domain;
        };
        const Case cases[] = {
            {"<value type='int' name='5'/>", "int [5,5]"},
            {"<value type='string' name='open'/>", "string {open}"},
            {"<symbol type='string' value='s'/>", "string {s}"},
            {"<object value='l1'/>", "Location objects {l1}"},
            {"<id name='v'/>", "int [2,4]"},
            {"<interval type='int' min='0' max='10'/>", "int [0,10]"},
            {"<interval type='float' min='0.5' max='+inf'/>", "float [0.5,+inf]"},
            {"<set><int value='1'/><float value='2.5'/></set>", "float {1,2.5}"},
            {"<set><float value='2.5'/><int value='1'/></set>", "float {1,2.5}"},
            {"<set><value type='int' value='3' name='4'/><INT name='5'/></set>", "int {3,5}"},
            {"<set><bool value='true'/><BOOL name='false'/></set>", "bool {0,1}"},
            {"<set><string value='b'/><STRING value='a'/></set>", "string {a,b}"},
            {"<set><symbol type='SYMBOL' value='x'/><symbol type='SYMBOL' value='y'/></set>", "SYMBOL {x,y}"},
            {"<set type='Location'><object value='l1'/><object value='l2'/></set>",
             "Location objects {l1,l2}"},
            {"<set><object value='l2'/></set>", "Objects objects {l2}"},
        };
        for (const Case& c : cases)
          EXPECT_EQ(c.domain, domainOf(c.element)) << c.element;
        (void) v;
      }

      TEST_F(PlayerValuesTest, DomainsTheLogWritesReadBackTheSame) {
        DbClientTransactionLog log(clientId(), false);
        std::list<double> strings{LabelStr("north"), LabelStr("south")};
        const ObjectDomain locations(std::list<ObjectId>{l1, l2}, "Location");
        const ObjectDomain one(l1, "Location");
        const StringDomain word(LabelStr("east"), "string");
        const SymbolDomain symbols(strings, "symbol");
        const StringDomain words(strings, "string");
        const EnumeratedDomain reals(std::list<double>{1, 2.5}, true, "float");
        const IntervalDomain interval(-1.5, 7.25, "float");
        const IntervalIntDomain ints(-3, 9, "int");
        const BoolDomain flag(true, "bool");
        for (const AbstractDomain* d : std::vector<const AbstractDomain*>{
                 &locations, &one, &word, &symbols, &words, &reals, &interval, &ints, &flag}) {
          std::unique_ptr<TiXmlElement> element(log.abstractDomainAsXml(d));
          std::unique_ptr<const AbstractDomain> back(
              player().xmlAsAbstractDomain(*element, nullptr, nullptr));
          EXPECT_EQ(describe(*d), describe(*back)) << *element;
          EXPECT_EQ(d->isEntity(), back->isEntity()) << *element;
        }
      }

      TEST_F(PlayerValuesTest, DomainsNamedByTheCaller) {
        std::unique_ptr<IntervalDomain> ints(
            player().xmlAsIntervalDomain(*xml("<interval type='int' min='1' max='3'/>"), "Speed"));
        EXPECT_EQ("Speed [1,3]", describe(*ints));
        EXPECT_EQ(1.0, ints->minDelta());
        std::unique_ptr<IntervalDomain> reals(
            player().xmlAsIntervalDomain(*xml("<interval type='float' min='1' max='3'/>"), "Length"));
        EXPECT_GT(1.0, reals->minDelta());
        std::unique_ptr<EnumeratedDomain> set(
            player().xmlAsEnumeratedDomain(*xml("<set><int value='1'/></set>"), "Count"));
        EXPECT_EQ("Count {1}", describe(*set));
      }

      TEST_F(PlayerValuesTest, DomainFailures) {
        const std::string mixed =
            "unknown or inappropriately mixed type(s) for value(s) in an enumerated set";
        expectFailures(
            {
                {"<ident/>", "strcmp(tag, \"ident\") != 0", "ident in transaction xml is deprecated"},
                {"<id name='nobody'/>", "var.isValid()", ""},
                {"<id/>", "varString != NULL", ""},
                {"<value name='5'/>", "type != NULL", "missing type for domain in transaction XML"},
                {"<value type='int'/>", "name != NULL", "missing name for domain in transaction XML"},
                {"<float/>", "value_st != NULL", ""},
                {"<float value='1'/>", "strcmp(tag, \"object\") == 0", ""},
                {"<symbol value='x'/>", "type != NULL", ""},
                {"<object value='nobody'/>", "object.isValid()", ""},
                {"<value type='nothing' name='1'/>", "known", "Unknown type name nothing"},
                {"<interval min='0' max='1'/>", "type_st != NULL", ""},
                {"<interval type='int' max='1'/>", "min_st != NULL", ""},
                {"<interval type='int' min='0'/>", "max_st != NULL", ""},
                {"<interval type='string' min='a' max='b'/>", "domain != NULL",
                 "type 'string' should indicate an interval domain type"},
                {"<set/>", "type != ANY", ""},
                {"<set><value value='1'/></set>", "thisType != \"\"", "no type for domain in XML"},
                {"<set><bool value='true'/><int value='1'/></set>", "ALWAYS_FAILS", mixed},
                {"<set><int value='1'/><string value='a'/></set>", "ALWAYS_FAILS", mixed},
                {"<set><object value='l1'/><int value='1'/></set>", "ALWAYS_FAILS", mixed},
                {"<set><int value='1'/><object value='l1'/></set>", "ALWAYS_FAILS", mixed},
                {"<set><symbol type='symbol' value='a'/><symbol type='SYMBOL' value='b'/></set>",
                 "strcmp(typeName.c_str(), child_el->Attribute(\"type\")) == 0",
                 "symbols from different types in the same enumerated set"},
                {"<set><symbol value='a'/></set>", "symbolType != NULL",
                 "missing type for a symbol in an enumerated set"},
                {"<set><int value='1'/><symbol type='symbol' value='a'/></set>", "ALWAYS_FAILS", mixed},
                {"<set><int/></set>", "value_st != NULL", ""},
                {"<set><object value='nobody'/></set>", "object.isValid()",
                 "No object named 'nobody' for an enumerated set"},
                // Domains begun before a failing bound or member are freed.
                {"<interval type='int' min='0' max='x'/>", "isNumber",
                 "Cannot read 'x' as a value of type int."},
                {"<set><int value='1'/><int value='y'/></set>", "isNumber",
                 "Cannot read 'y' as a value of type int."},
            },
            [this](const std::string& s) { domainOf(s); });
      }

      TEST(PathAsVector, KeepsEmptyPiecesAndRefusesOtherText) {
        struct Case {
          const char* path;
          std::vector<int> numbers;
        };
        const Case cases[] = {
            {"", {0}},       {"2.", {2, 0}}, {"1..2", {1, 0, 2}},
            {"0.1", {0, 1}}, {"-1", {-1}},   {"2147483647", {2147483647}},
        };
        for (const Case& c : cases)
          EXPECT_EQ(c.numbers, pathAsVector(c.path)) << c.path;
        for (const char* bad : {"1a", "x", " 1", "1.+", "2147483648", "99999999999999999999"})
          EXPECT_CHECK_FAILS(pathAsVector(bad), "piece.empty() || readInt(piece, number)",
                             std::string("Token path '") + bad + "' holds '" +
                                 std::string(bad).substr(std::string(bad).rfind('.') + 1) +
                                 "', which is no decimal integer in the range of int.");
      }

      TEST_F(PlayerValuesTest, TokensByPathOrByName) {
        EXPECT_EQ(t, player().xmlAsToken(*xml("<token path='0'/>")));
        EXPECT_EQ(t, player().xmlAsToken(*xml("<token name='t'/>")));
        EXPECT_EQ(t, player().xmlAsToken(*xml("<id name='t'/>")));
        EXPECT_EQ(t, player().xmlAsToken(*xml("<token path='0' name='nobody'/>")));
        EXPECT_TRUE(player().xmlAsToken(*xml("<token path='7'/>")).isNoId());
        EXPECT_TRUE(player().parseToken("nobody").isNoId());
        expectFailures(
            {
                {"<ident/>", "strcmp(token.Value(), \"ident\") != 0",
                 "ident in transaction xml is deprecated"},
                {"<id name='nobody'/>", "tok.isValid()", ""},
                {"<token name='nobody'/>", "tok.isValid()", ""},
                {"<id/>", "tokString != NULL", ""},
                {"<token/>", "ALWAYS_FAILS", ""},
                {"<object name='t'/>", "ALWAYS_FAILS", ""},
            },
            [this](const std::string& s) { player().xmlAsToken(*xml(s)); });
        // Look-ups never enter a name.
        EXPECT_EQ(1u, player().m_tokens.size());
      }

      TEST_F(PlayerValuesTest, VariablesByDottedNames) {
        const ConstrainedVariableId v = named("v", IntervalIntDomain(0, 1, "int"));
        const ConstrainedVariableId holder = named("l1", ObjectDomain(l1, "Location"));
        named("other", ObjectDomain(l2, "Location"));
        named("both", ObjectDomain(std::list<ObjectId>{l1, l2}, "Location"));
        EXPECT_EQ(v, player().parseVariable("v"));
        EXPECT_TRUE(player().parseVariable("nobody").isNoId());
        EXPECT_EQ(t->getVariables()[3], player().parseVariable("t.start"));
        EXPECT_EQ(l1->getVariables()[1], player().parseVariable("l1.y"));
        (void) holder;
        expectFailures(
            {
                {"t.zzz", "ALWAYS_FAILS", "Failed to process transaction for t:zzz"},
                {"nobody.x", "var.isValid()", "Invalid id for nobody"},
                {"v.x", "object.isValid()", "Invalid object for v"},
                {"both.x", "object.isValid()", "Invalid object for both"},
                {"other.x", "var.isValid()", "other.x not found on " + l2->toString()},
            },
            [this](const std::string& s) { player().parseVariable(s.c_str()); });
        EXPECT_CHECK_FAILS(player().parseVariable(nullptr), "varString != NULL", "");
        EXPECT_EQ(4u, player().m_variables.size());
        EXPECT_EQ(1u, player().m_tokens.size());
      }

      TEST_F(PlayerValuesTest, VariableReferences) {
        const ConstrainedVariableId v = named("v", IntervalIntDomain(0, 1, "int"));
        const unsigned int index = client().getIndexByVariable(v);
        const std::string byIndex = "<variable index='" + std::to_string(index) + "'/>";
        EXPECT_EQ(t->getVariables()[3], variableOf("<variable token='0' index='3'/>"));
        EXPECT_EQ(t->getVariables()[5], variableOf("<variable token='0' object='l1' index='5'/>"));
        EXPECT_EQ(l1->getVariables()[0], variableOf("<variable object='l1' index='0'/>"));
        EXPECT_EQ(v, variableOf(byIndex));
        EXPECT_EQ(v, variableOf("<id name='v'/>"));

        const std::string size = std::to_string(t->getVariables().size());
        expectFailures(
            {
                {"<ident/>", "strcmp(variable.Value(), \"ident\") != 0",
                 "ident in transaction xml is deprecated"},
                {"<variable token='0'/>", "variable.Attribute(\"index\", &index) != NULL", ""},
                {"<variable token='0' index='-1'/>", "0 <= index", ""},
                {"<variable token='0' index='three'/>", "0 <= index", ""},
                {"<variable token='0' index='3x'/>", "0 <= index", ""},
                {"<variable token='0' index='99999999999'/>", "0 <= index", ""},
                {"<variable token='0' index='" + size + "'/>",
                 "(unsigned)index < token->getVariables().size()", ""},
                {"<variable token='7' index='0'/>", "token.isValid()", ""},
                {"<variable token='0.x' index='0'/>", "piece.empty() || readInt(piece, number)",
                 "Token path '0.x' holds 'x', which is no decimal integer in the range of int."},
                {"<variable object='nobody' index='0'/>", "object.isValid()", ""},
                {"<variable object='l1' index='2'/>", "(unsigned)index < object->getVariables().size()", ""},
                {"<variable index='1000000'/>", "var.isValid()", "No variable with index 1000000"},
                {"<id name='nobody'/>", "var.isValid()", "No variable named nobody"},
            },
            [this](const std::string& s) { variableOf(s); });
      }

      TEST_F(PlayerValuesTest, ValuesWhereVariablesAreExpectedMakeNumberedTemporaries) {
        const ConstrainedVariableId first = variableOf("<value type='int' name='5'/>");
        EXPECT_EQ("$VAR[0]", first->getName().toString());
        EXPECT_TRUE(first->isInternal());
        EXPECT_FALSE(first->canBeSpecified());
        EXPECT_EQ("int [5,5]", describe(first->baseDomain()));
        EXPECT_EQ("$VAR[1]", variableOf("<interval type='float' min='0' max='1'/>")->getName().toString());
        EXPECT_EQ("$VAR[2]", variableOf("<object value='r1'/>")->getName().toString());
        EXPECT_CHECK_FAILS(variableOf("<value name='5'/>"), "type != NULL",
                           "missing type for domain in transaction XML");
        // The failed read used up its number.
        EXPECT_EQ("$VAR[4]", variableOf("<value type='bool' name='false'/>")->getName().toString());
      }

      TEST_F(PlayerValuesTest, CreatedVariablesTakeTheirTypeAndName) {
        const ConstrainedVariableId r =
            player().xmlAsCreateVariable("Location", "r",
                                         xml("<new type='Location'><value type='int' "
                                             "name='0'/><value type='int' name='9'/></new>")
                                             .get());
        const ObjectId made = client().getObject("r");
        ASSERT_TRUE(made.isValid());
        EXPECT_EQ("r", r->getName().toString());
        EXPECT_TRUE(r->baseDomain().isSingleton());
        EXPECT_EQ(static_cast<double>(made), r->baseDomain().getSingletonValue());
        EXPECT_TRUE(r->canBeSpecified());

        const ConstrainedVariableId g = player().xmlAsCreateVariable("float", "g", nullptr);
        EXPECT_EQ("float", g->baseDomain().getTypeName().toString());
        EXPECT_FALSE(g->isInternal());
        const ConstrainedVariableId s =
            player().xmlAsCreateVariable(nullptr, "s", xml("<set><int value='1'/></set>").get());
        EXPECT_EQ("int {1}", describe(s->baseDomain()));
        EXPECT_CHECK_FAILS(player().xmlAsCreateVariable(nullptr, "none", nullptr), "type != NULL", "");
      }

      TEST_F(PlayerValuesTest, ReadersWriteTheirDebugLines) {
        TestModel::DebugCapture capture("DbClientTransactionPlayer");
        play("<breakpoint/>");
        domainOf("<interval type='int' min='0' max='10'/>");
        EXPECT_THROW(domainOf("<set><int value='1'/><symbol type='symbol' value='a'/></set>"), Error);
        domainOf("<set><symbol type='symbol' value='a'/><symbol type='symbol' value='b'/></set>");
        variableOf("<value type='int' name='5'/>");
        EXPECT_EQ(
            "[DbClientTransactionPlayer:processTransaction]Processing transaction <breakpoint />\n"
            "[DbClientTransactionPlayer:xmlAsIntervalDomain]For <interval type=\"int\" min=\"0\" "
            "max=\"10\" />, created domain " +
                IntervalIntDomain(0, 10, "int").toString() +
                "\n"
                "[DbClientTransactionPlayer:xmlAsEnumeratedDomain] thisType= int\n"
                "[DbClientTransactionPlayer:xmlAsEnumeratedDomain] thisType= symbol\n"
                "[DbClientTransactionPlayer:xmlAsEnumeratedDomain:symbol] thisType= symbol typeName = int\n"
                "[DbClientTransactionPlayer:xmlAsEnumeratedDomain] thisType= symbol\n"
                "[DbClientTransactionPlayer:xmlAsEnumeratedDomain] thisType= symbol\n"
                "[DbClientTransactionPlayer:xmlAsEnumeratedDomain:symbol] thisType= symbol typeName = "
                "symbol\n"
                "[DbClientTransactionPlayer:xmlAsCreateVariable] type = int name = $VAR[0] domain type = "
                "int\n",
            capture.text());
      }

      TEST_F(PlayerValuesTest, TokenTypesGivenAsObjectPaths) {
        ObjectId object = l2;
        EXPECT_STREQ("Rover.At", player().getObjectAndType(clientId(), "Rover.At", object));
        EXPECT_EQ(l2, object);
        EXPECT_STREQ("Rover.At", player().getObjectAndType(clientId(), "r1.At", object));
        EXPECT_EQ(r1, object);
        EXPECT_STREQ("Rover.Go", player().getObjectAndType(clientId(), "d.rover.Go", object));
        EXPECT_EQ(depotRover, object);
        new TestModel::TestObject(m_plan.db(), "Depot", "e");
        expectFailures(
            {
                {"nobody.At", "object.isValid()", "Failed to find an object named nobody"},
                {"e.rover.Go", "object.isValid()", "Failed to find an object named e.rover"},
                {"Rover", "elements.size() >= 2",
                 "'Rover' is neither a predicate nor an object path ending in a predicate"},
            },
            [&](const std::string& s) { player().getObjectAndType(clientId(), s.c_str(), object); });
      }

    }
  }
}

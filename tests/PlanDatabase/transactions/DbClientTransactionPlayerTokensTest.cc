#include "PlanDatabase/transactions/PlayerHandlerFixture.hh"

#include "PlanDatabase/base/StateDomain.hh"

#include <tinyxml.h>

namespace KADRIX {
  namespace TestModel {
    namespace {

      class PlayerTokensTest : public PlayerHandlerFixture {
      protected:
        bool rejectable(const TokenId& token) {
          return token->getState()->baseDomain().isMember(LabelStr("REJECTED"));
        }
      };

      TEST_F(PlayerTokensTest, GoalsAndFactsCreateNamedTokens) {
        DebugCapture debug("DbClientTransactionPlayer:createToken");
        play(ROVER_WORLD + goal("a", "Rover.drive") +
             "<goal mandatory=\"true\"><predicateinstance name=\"b\" type=\"Rover.drive\"/></goal>"
             "<goal mandatory=\"TRUE\"><predicateinstance name=\"c\" type=\"Rover.sample\"/></goal>"
             "<fact mandatory=\"false\"><any name=\"d\" type=\"Rover.sample\"/></fact>"
             "<goal><predicateinstance type=\"Rover.drive\"/></goal>" +
             goal("a", "Rover.sample"));
        EXPECT_EQ(m_calls.take(), "object object object token token token token token token");
        EXPECT_EQ(m_plan.db()->getTokens().size(), 6u);

        // The second "a" wins the name; the first stays in the database.
        struct Expected {
          const char* name;
          const char* predicate;
          bool rejectable;
          bool fact;
        };
        for (const Expected& e : std::vector<Expected>{{"a", "Rover.sample", true, false},
                                                       {"b", "Rover.drive", false, false},
                                                       {"c", "Rover.sample", true, false},
                                                       {"d", "Rover.sample", false, true}}) {
          SCOPED_TRACE(e.name);
          TokenId t = token(e.name);
          ASSERT_TRUE(t.isValid());
          EXPECT_EQ(t->getPredicateName().toString(), e.predicate);
          EXPECT_EQ(rejectable(t), e.rejectable);
          EXPECT_EQ(t->isFact(), e.fact);
        }
        EXPECT_EQ(debug.text(),
                  "[DbClientTransactionPlayer:createToken]created Token:a of type Rover.drive isFact:0\n"
                  "[DbClientTransactionPlayer:createToken]created Token:b of type Rover.drive isFact:0\n"
                  "[DbClientTransactionPlayer:createToken]created Token:c of type Rover.sample isFact:0\n"
                  "[DbClientTransactionPlayer:createToken]created Token:d of type Rover.sample isFact:1\n"
                  "[DbClientTransactionPlayer:createToken]created Token:NO_NAME_DBCTP of type Rover.drive "
                  "isFact:0\n"
                  "[DbClientTransactionPlayer:createToken]created Token:a of type Rover.sample isFact:0\n");

        expectPlayFailures({{"<goal/>", "child != NULL", ""},
                            {"<fact/>", "child != NULL", ""},
                            {"<goal><predicateinstance name=\"e\"/></goal>", "type != NULL", ""},
                            {"<goal><predicateinstance type=\"nosuch.sample\"/></goal>", "object.isValid()",
                             "Failed to find an object named nosuch"}});
        EXPECT_EQ(m_plan.db()->getTokens().size(), 6u);

        // Deleting the second "a" by its name leaves the name to nothing: the first does not get it back.
        const TokenId second = token("a");
        m_plan.db()->getClient()->enableTransactionLogging();
        play("<deletetoken><predicateinstance name=\"a\"/></deletetoken>");
        EXPECT_EQ(m_calls.take(), "tokenDeleted");
        EXPECT_FALSE(second.isValid());
        EXPECT_TRUE(token("a").isNoId());
        EXPECT_EQ(m_plan.db()->getTokens().size(), 5u);
        expectPlayFailures({{"<activate><token name=\"a\"/></activate>", "tok.isValid()", ""}});
      }

      TEST_F(PlayerTokensTest, PathTypedGoalRestrictsItsObjectThroughTheClient) {
        given(ROVER_WORLD + "<new type=\"Rover\" name=\"rover2\"/>");
        play(goal("s", "rover2.sample") + goal("t", "Rover.sample"));
        // The restriction is heard by the client's listeners, so a log records it.
        EXPECT_EQ(m_calls.take(), "token restricted token");
        const ObjectId rover2 = m_plan.db()->getObject("rover2");
        EXPECT_EQ(token("s")->getPredicateName().toString(), "Rover.sample");
        EXPECT_TRUE(token("s")->getObject()->baseDomain().isSingleton());
        EXPECT_EQ(token("s")->getObject()->baseDomain().getSingletonValue(), static_cast<double>(rover2));
        EXPECT_EQ(token("t")->getObject()->baseDomain().getSize(), 2u);
      }

      TEST_F(PlayerTokensTest, StateChangesInPlainAndInvokeForms) {
        given(ROVER_WORLD + goal("a", "Rover.drive") + goal("b", "Rover.drive") + goal("c", "Rover.sample"));
        struct Step {
          const char* xml;
          const char* token;
          const char* calls;
          bool active;
          bool rejected;
        };
        for (const Step& s : std::vector<Step>{
                 {"<activate><token name=\"a\"/></activate>", "a", "activated", true, false},
                 // Already active: no client call.
                 {"<activate><id name=\"a\"/></activate>", "a", "", true, false},
                 {"<invoke name=\"activate\" identifier=\"a\"/>", "a", "", true, false},
                 {"<invoke name=\"activate\" identifier=\"b\"/>", "b", "activated", true, false},
                 {"<invoke name=\"cancel\" identifier=\"b\"/>", "b", "cancelled", false, false},
                 {"<reject><token name=\"c\"/></reject>", "c", "rejected", false, true},
                 {"<cancel><id name=\"c\"/></cancel>", "c", "cancelled", false, false},
                 {"<invoke name=\"reject\" identifier=\"c\"/>", "c", "rejected", false, true}}) {
          SCOPED_TRACE(s.xml);
          play(s.xml);
          EXPECT_EQ(m_calls.take(), s.calls);
          EXPECT_EQ(token(s.token)->isActive(), s.active);
          EXPECT_EQ(token(s.token)->isRejected(), s.rejected);
        }
        expectPlayFailures({{"<activate/>", "token_el != NULL", ""},
                            {"<invoke name=\"activate\" identifier=\"never\"/>", "token.isValid()", ""},
                            {"<invoke name=\"reject\" identifier=\"never\"/>", "token.isValid()", ""},
                            {"<invoke name=\"cancel\"/>", "element.Attribute(\"identifier\") != NULL", ""}});
        EXPECT_EQ(m_calls.take(), "");
      }

      TEST_F(PlayerTokensTest, MergeInPlainAndInvokeForms) {
        given(ROVER_WORLD + goal("a", "Rover.drive") + goal("m", "Rover.drive") + goal("n", "Rover.drive") +
              "<activate><token name=\"a\"/></activate>");
        play(
            "<merge><token name=\"m\"/><token name=\"a\"/></merge>"
            "<invoke name=\"merge\" identifier=\"n\"><token name=\"a\"/></invoke>");
        EXPECT_EQ(m_calls.take(), "merged merged");
        for (const char* name : {"m", "n"}) {
          EXPECT_TRUE(token(name)->isMerged());
          EXPECT_EQ(token(name)->getActiveToken(), token("a"));
        }
        expectPlayFailures({{"<merge/>", "token_el != NULL", ""},
                            {"<merge><token name=\"m\"/></merge>", "active_el != NULL",
                             "Active element required for merge."},
                            {"<invoke name=\"merge\" identifier=\"m\"/>", "active_el != NULL",
                             "Active element required for merge."},
                            {"<invoke name=\"merge\" identifier=\"never\"><token name=\"a\"/></invoke>",
                             "token.isValid()", ""},
                            {"<invoke name=\"merge\"><token name=\"a\"/></invoke>",
                             "element.Attribute(\"identifier\") != NULL", ""}});
      }

      TEST_F(PlayerTokensTest, ConstrainAndFreeInPlainAndInvokeForms) {
        given(ROVER_WORLD + goal("a", "Rover.drive") + goal("b", "Rover.drive") +
              "<activate><token name=\"a\"/></activate><activate><token name=\"b\"/></activate>");
        // A single token element is both predecessor and successor: it only
        // places the token on the empty timeline.
        play("<invoke name=\"constrain\" identifier=\"rover1\"><id name=\"a\"/></invoke>");
        EXPECT_EQ(sequence("rover1"), std::vector<TokenId>({token("a")}));
        play("<invoke name=\"free\" identifier=\"rover1\"><id name=\"a\"/></invoke>");
        EXPECT_TRUE(sequence("rover1").empty());
        play("<constrain><object name=\"rover1\"/><token name=\"b\"/><token name=\"a\"/></constrain>");
        EXPECT_EQ(sequence("rover1"), std::vector<TokenId>({token("b"), token("a")}));
        play("<free><object name=\"rover1\"/><token name=\"b\"/><token name=\"a\"/></free>");
        EXPECT_TRUE(sequence("rover1").empty());
        EXPECT_EQ(m_calls.take(), "constrained freed constrained freed");

        const char* noObject = "object_el != NULL && object_el->Attribute(\"name\") != NULL";
        expectPlayFailures(
            {{"<constrain><token name=\"a\"/></constrain>", noObject, ""},
             {"<free><object/><token name=\"a\"/></free>", noObject, ""},
             {"<invoke name=\"constrain\"><token name=\"a\"/></invoke>",
              "element.Attribute(\"identifier\") != NULL", ""},
             {"<constrain><object name=\"nosuch\"/><token name=\"a\"/></constrain>", "object.isValid()", ""},
             {"<constrain><object name=\"rover1\"/></constrain>", "token != NULL", ""},
             {"<constrain><object name=\"rover1\"/><token/></constrain>",
              "token->Attribute(\"name\") != NULL", ""},
             {"<constrain><object name=\"rover1\"/><token name=\"a\"/><token/></constrain>",
              "token->Attribute(\"name\") != NULL", ""},
             {"<constrain><object name=\"rover1\"/><token name=\"zz\"/></constrain>", "predecessor.isValid()",
              ""},
             {"<free><object name=\"rover1\"/><id name=\"a\"/><id name=\"zz\"/></free>",
              "successor.isValid()", ""}});
        EXPECT_EQ(m_calls.take(), "");
      }

      TEST_F(PlayerTokensTest, DeleteTokenByNameElsePathInEveryForm) {
        m_plan.db()->getClient()->enableTransactionLogging();
        play(ROVER_WORLD + goal("a", "Rover.drive") + goal("b", "Rover.drive") +
             "<goal><predicateinstance type=\"Rover.sample\"/></goal>" + goal("d", "Rover.sample"));
        const TokenId a = token("a"), d = token("d");
        // A name that was never a token's is not entered by a failed look-up:
        // the deletion below falls back to the path.
        EXPECT_CHECK_FAILS(play("<invoke name=\"activate\" identifier=\"never\"/>"), "token.isValid()", "");
        given("<activate><token name=\"d\"/></activate>");

        // A refused deletion keeps the name.
        EXPECT_CHECK_FAILS(play("<deletetoken><predicateinstance name=\"d\" path=\"3\"/></deletetoken>"),
                           "token->isInactive() || token->isFact()",
                           "Attempted to delete active, non-fact token " + d->toString());
        EXPECT_EQ(token("d"), d);
        play(
            "<cancel><token name=\"d\"/></cancel>"
            // The name wins over the path.
            "<deletetoken><predicateinstance name=\"d\" path=\"0\"/></deletetoken>"
            // A name never used falls back to the path.
            "<deletetoken><predicateinstance name=\"never\" path=\"2\"/></deletetoken>"
            // As the log writes it: no child, path and name on the element.
            "<deletetoken type=\"Rover.drive\" path=\"1\" name=\"b\"/>"
            "<deletetoken type=\"Rover.drive\" path=\"0\"/>");
        EXPECT_EQ(m_calls.take(), "cancelled tokenDeleted tokenDeleted tokenDeleted tokenDeleted");
        EXPECT_TRUE(m_plan.db()->getTokens().empty());
        EXPECT_FALSE(a.isValid());
        for (const char* name : {"b", "d"})
          EXPECT_TRUE(token(name).isNoId()) << name;

        given(goal("e", "Rover.drive"));
        EXPECT_CHECK_FAILS(player().playTokenDeleted(TiXmlElement("goal")), "child != NULL", "");
        expectPlayFailures(
            {{"<deletetoken/>", "pathStr != NULL", ""},
             {"<deletetoken name=\"zz\"/>", "pathStr != NULL", ""},
             {"<deletetoken><predicateinstance path=\"0\"/></deletetoken>", "name != NULL", ""},
             {"<deletetoken><predicateinstance name=\"zz\"/></deletetoken>", "pathStr != NULL", ""},
             {"<deletetoken><predicateinstance name=\"zz\" path=\"7\"/></deletetoken>", "tok.isValid()",
              ""}});
        EXPECT_TRUE(token("e").isValid());
      }

    }
  }
}

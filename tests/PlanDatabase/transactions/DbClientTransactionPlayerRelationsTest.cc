#include "PlanDatabase/transactions/PlayerHandlerFixture.hh"

namespace KADRIX {
  namespace TestModel {
    namespace {

      class PlayerRelationsTest : public PlayerHandlerFixture {
      protected:
        PlayerRelationsTest() {
          given(ROVER_WORLD + goal("o", "Rover.drive") + goal("t", "Rover.drive") +
                goal("eo", "Rover.arrive") + goal("et", "Rover.arrive"));
        }

        static std::string relation(const char* tag, const std::string& name, const char* origin,
                                    const char* target) {
          return std::string("<") + tag + " relation=\"" + name + "\" origin=\"" + origin + "\" target=\"" +
                 target + "\"/>";
        }

        /** "precedes oe ts; ..." for the constraints, with timepoints named after the tokens. */
        std::string describe(const std::vector<ConstraintId>& constraints, const char* origin,
                             const char* target) {
          const TokenId o = token(origin), t = token(target);
          auto point = [&](const ConstrainedVariableId& var) -> std::string {
            if (var == ConstrainedVariableId(o->start()))
              return "os";
            if (var == ConstrainedVariableId(o->end()))
              return "oe";
            if (var == ConstrainedVariableId(t->start()))
              return "ts";
            if (var == ConstrainedVariableId(t->end()))
              return "te";
            return "?";
          };
          std::string text;
          for (const ConstraintId& c : constraints)
            text += (text.empty() ? "" : "; ") + c->getName().toString() + " " + point(c->getScope().at(0)) +
                    " " + point(c->getScope().at(1));
          return text;
        }

        std::string timepoints(const char* first, const char* second) {
          return "No saved temporal constraints between " + variable(first)->toString() + " and " +
                 variable(second)->toString();
        }
      };

      TEST_F(PlayerRelationsTest, EveryRelationMakesAndRemovesItsConstraints) {
        const std::vector<std::pair<const char*, std::string>> table = {
            {"before", "precedes oe ts"},
            {"after", "precedes te os"},
            {"meets", "concurrent oe ts"},
            {"met_by", "concurrent os te"},
            {"equal", "concurrent os ts; concurrent oe te"},
            {"equals", "concurrent os ts; concurrent oe te"},
            {"contains", "precedes os ts; precedes te oe"},
            {"contained_by", "precedes ts os; precedes oe te"},
            {"paralleled_by", "precedes ts os; precedes te oe"},
            {"parallels", "precedes os ts; precedes oe te"},
            {"starts", "concurrent os ts"},
            {"ends", "concurrent oe te"},
            {"ends_after", "precedes ts oe"},
            {"ends_before", "precedes oe ts"},
            {"ends_after_start", "precedes ts oe"},
            {"starts_before_end", "precedes os te"},
            {"starts_during", "precedes ts os; precedes os te"},
            {"contains_start", "precedes os ts; precedes ts oe"},
            {"ends_during", "precedes ts oe; precedes oe te"},
            {"contains_end", "precedes os te; precedes te oe"},
            {"starts_after", "precedes ts os"},
            {"starts_before", "precedes os ts"},
            {"any", ""}};
        for (bool events : {false, true}) {
          const char* origin = events ? "eo" : "o";
          const char* target = events ? "et" : "t";
          for (const auto& row : table) {
            SCOPED_TRACE(std::string(row.first) + (events ? " between events" : ""));
            std::string expected = row.second;
            // An event token's start is its end.
            for (std::size_t at = 0; events && at < expected.size(); ++at)
              if (expected[at] == 'e' && at > 0 && (expected[at - 1] == 'o' || expected[at - 1] == 't'))
                expected[at] = 's';
            m_calls.created.clear();
            m_calls.deleted.clear();
            play(relation("goal", row.first, origin, target));
            EXPECT_EQ(describe(m_calls.created, origin, target), expected);
            play(relation("deletetoken", row.first, origin, target));
            EXPECT_EQ(m_calls.deleted, m_calls.created);
          }
        }
        EXPECT_EQ(m_plan.db()->getTokens().size(), 4u);
      }

      TEST_F(PlayerRelationsTest, RemovalSelectsByTimepointsAndConstraintName) {
        // "before" and "meets" share their timepoints; "meets" takes only the concurrent one.
        play(relation("goal", "before", "o", "t") + relation("goal", "meets", "o", "t"));
        const std::vector<ConstraintId> made = m_calls.created;
        play(relation("deletetoken", "meets", "o", "t"));
        EXPECT_EQ(m_calls.deleted, std::vector<ConstraintId>({made[1]}));
        // Another relation with that constraint selects it, as does the converse from the other side.
        play(relation("deletetoken", "ends_before", "o", "t"));
        EXPECT_EQ(m_calls.deleted, std::vector<ConstraintId>({made[1], made[0]}));
        EXPECT_CHECK_FAILS(play(relation("deletetoken", "before", "o", "t")),
                           "range.first != m_relations.end()", timepoints("o.end", "t.start"));

        play(relation("goal", "before", "t", "o") + relation("goal", "before", "t", "o"));
        m_calls.deleted.clear();
        play(relation("deletetoken", "after", "o", "t"));
        EXPECT_EQ(m_calls.deleted, std::vector<ConstraintId>({m_calls.created[2]}));
        play(relation("deletetoken", "before", "t", "o"));
        EXPECT_EQ(m_calls.deleted, std::vector<ConstraintId>({m_calls.created[2], m_calls.created[3]}));

        // Keys are ordered: the second constraint of "contains" is not that of "parallels".
        play(relation("goal", "contains", "o", "t"));
        EXPECT_CHECK_FAILS(play(relation("deletetoken", "parallels", "o", "t")),
                           "range.first != m_relations.end()", timepoints("o.end", "t.end"));
        EXPECT_FALSE(m_calls.created[4].isValid());
        EXPECT_TRUE(m_calls.created[5].isValid());
        // Stored under the key, but under another name.
        EXPECT_CHECK_FAILS(play(relation("deletetoken", "ends", "t", "o")), "it != m_relations.end()", "");
        EXPECT_TRUE(m_calls.created[5].isValid());
      }

      TEST_F(PlayerRelationsTest, EntriesOfConstraintsGoneOtherwiseAreNeverRead) {
        play(relation("goal", "before", "o", "t") + relation("goal", "meets", "o", "t"));
        const ConstraintId before = m_calls.created[0];
        play("<deleteconstraint name=\"precedes\" index=\"" + std::to_string(client().getIndexByConstraint(before)) +
             "\">" + scopeText(before) + "</deleteconstraint>");
        play(relation("deletetoken", "meets", "o", "t"));
        EXPECT_CHECK_FAILS(play(relation("deletetoken", "before", "o", "t")),
                           "range.first != m_relations.end()", timepoints("o.end", "t.start"));

        // Tokens deleted with their constraints, and others made in their place.
        play(relation("goal", "before", "o", "t") +
             "<deletetoken><predicateinstance name=\"o\"/></deletetoken>"
             "<deletetoken><predicateinstance name=\"t\"/></deletetoken>" +
             goal("o", "Rover.drive") + goal("t", "Rover.drive"));
        EXPECT_CHECK_FAILS(play(relation("deletetoken", "before", "o", "t")),
                           "range.first != m_relations.end()", timepoints("o.end", "t.start"));
      }

      TEST_F(PlayerRelationsTest, TokensAreCheckedBeforeTheRelationName) {
        const std::string keys =
            std::to_string(token("o")->getKey()) + " and " + std::to_string(token("t")->getKey());
        {
          DebugCapture debug("DbClientTransactionPlayer:playTemporalRelation");
          play(relation("goal", "any", "o", "t") + relation("deletetoken", "any", "o", "t"));
          EXPECT_EQ(debug.text(), "[DbClientTransactionPlayer:playTemporalRelationCreated]got token " + keys +
                                      " for relation 'any'\n"
                                      "[DbClientTransactionPlayer:playTemporalRelationDeleted]got token " +
                                      keys + " for relation any\n");
        }
        EXPECT_EQ(m_calls.take(), "");
        expectPlayFailures(
            {{"<goal origin=\"o\" target=\"t\" relation=\"\"/>", "strcmp(relation, \"any\") == 0",
              "unknown temporal relation name ''"},
             {"<deletetoken target=\"t\" relation=\"before\"/>", "origin != NULL", ""},
             {"<goal relation=\"before\" origin=\"o\"/>", "target != NULL", ""},
             {"<deletetoken origin=\"o\" target=\"t\"/>", "pathStr != NULL", ""},
             {relation("goal", "any", "zz", "t"), "origin_token.isValid()", "Invalid token for label 'zz'"},
             {relation("deletetoken", "bogus", "o", "zz"), "target_token.isValid()",
              "Invalid token for label 'zz'"},
             {relation("goal", "Before", "o", "t"), "strcmp(relation, \"any\") == 0",
              "unknown temporal relation name 'Before'"},
             {relation("deletetoken", "bogus", "o", "t"), "strcmp(relation, \"any\") == 0",
              "unknown temporal relation name bogus"}});
      }

    }
  }
}

#ifndef KADRIX_PLAN_DATABASE_DEFS_HH
#define KADRIX_PLAN_DATABASE_DEFS_HH

#include "Utils/base/Entity.hh"
#include "Utils/base/Id.hh"

#include <set>

namespace KADRIX {

  class PlanDatabase;
  typedef Id<PlanDatabase> PlanDatabaseId;

  class Object;
  typedef Id<Object> ObjectId;
  typedef std::set<ObjectId, EntityComparator<ObjectId> > ObjectSet;

  class Token;
  typedef Id<Token> TokenId;
  typedef std::set<TokenId, EntityComparator<TokenId> > TokenSet;

  class PlanDatabaseListener;
  typedef Id<PlanDatabaseListener> PlanDatabaseListenerId;

  class TemporalAdvisor;
  typedef Id<TemporalAdvisor> TemporalAdvisorId;

  class DbClient;
  typedef Id<DbClient> DbClientId;

  class DbClientListener;
  typedef Id<DbClientListener> DbClientListenerId;

  class Schema;
  class PSToken;
  class PSObject;
  class PSPlanDatabase;
  class PSPlanDatabaseListener;

}

#endif

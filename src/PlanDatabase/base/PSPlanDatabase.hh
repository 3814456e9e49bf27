#ifndef KADRIX_PS_PLAN_DATABASE_HH
#define KADRIX_PS_PLAN_DATABASE_HH

#include "Utils/base/Engine.hh"

namespace KADRIX {

  /**
   * The public face of the schema: what the host engine holds as the component "Schema".
   */
  class PSSchema : public EngineComponent {
  public:
    PSSchema() : EngineComponent() {}
    virtual ~PSSchema() {}
  };

} // namespace KADRIX

#endif

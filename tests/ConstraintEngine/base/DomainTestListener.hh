#ifndef KADRIX_TESTS_DOMAIN_TEST_LISTENER_HH
#define KADRIX_TESTS_DOMAIN_TEST_LISTENER_HH

#include "ConstraintEngine/base/DomainListener.hh"

#include <vector>

namespace KADRIX {

  /** Records every change a domain reports. */
  class RecordingListener : public DomainListener {
  public:
    void notifyChange(const ChangeType& changeType) override { m_changes.push_back(changeType); }

    /** The changes since the last call. */
    std::vector<ChangeType> take() {
      std::vector<ChangeType> result;
      result.swap(m_changes);
      return result;
    }

  private:
    std::vector<ChangeType> m_changes;
  };

  typedef std::vector<DomainListener::ChangeType> Changes;

} // namespace KADRIX

#endif

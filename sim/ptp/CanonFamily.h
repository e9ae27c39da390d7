// Canon EOS bodies: remote and event mode, property values and allowed lists handed out in
// GetEvent batches, sets through SetDevicePropValueEx, the capture-target set-up the driver runs,
// and the session some bodies keep when the driver leaves without closing it.
#pragma once

#include "Family.h"

namespace camsim {
namespace ptp {

class CanonFamily : public Family {
  public:
    bool Handle(Exchange& x) const override;
    // A changed property is carried by the next GetEvent batch.
    void Report(BodyModel& body, uint16_t code) const override;

  private:
    bool OpenOrClose(Exchange& x) const;
    void GetEvent(Exchange& x) const;
    void SetPropValueEx(Exchange& x) const;
    void GetDeviceInfoEx(Exchange& x) const;
    void StorageIds(Exchange& x) const;
    void StorageInfo(Exchange& x) const;
    void HostCapacity(Exchange& x) const;
};

const Family& CanonFamilyInstance();

}  // namespace ptp
}  // namespace camsim

#pragma once
// The checks of an IP address, subnet mask and default gateway as the IP
// address page makes them, in its order and with its messages. The
// change-address dialog makes the same checks before it sends anything.
#include <optional>
#include <string>

enum class AddressField { IPAddress, SubnetMask, Gateway };

struct AddressRefusal {
  AddressField field;
  std::u16string message;  // "IPAddress Is Error", "SubnetMask Is Error" or "Gateway Is Error"
};

// The first failed check, or nothing when all three entries pass.
std::optional<AddressRefusal> CheckAddressEntries(const std::u16string& ipAddress, const std::u16string& subnetMask,
                                                  const std::u16string& gateway);

#pragma once
// What a camera refuses beyond each key's type and length, so that no value
// ever locks the user out: the camera checks an apply with these rules and
// the camera control never sends a value they refuse, whichever protocol it
// speaks.
#include <QString>
#include <cstdint>

namespace protocol {

// Why a text setting cannot be kept, or empty: a lone surrogate (no Digest
// spelling of it logs in again) or a C0 or C1 control or DEL (it breaks a
// header or a log line).
QString TextRefusal(const QString& text);

// Whether address (host order) can be a host of its network under mask:
// neither the network's own address nor its broadcast address. Masks with
// fewer than two host bits have neither. The mask must be ones then zeros.
bool IsHostOfNetwork(uint32_t address, uint32_t mask);

// Why an address, mask and gateway cannot be written together, or empty:
// the mask must be a contiguous prefix of ones (not 0.0.0.0), the address
// a unicast host (not 0.x, multicast or reserved) and not its subnet's own
// or broadcast address, and the gateway empty or such a host.
QString AddressSettingsRefusal(const QString& address, const QString& mask, const QString& gateway);

// A text that came from a camera (a reason, a fault, a name) as the user may
// read it in a message: at most MaxErrorUnits units, every control and
// every bidirectional formatting mark blanked, trimmed.
QString ShownDeviceText(const QString& text);

}  // namespace protocol

#pragma once
// The numbers of the wire that both ends and the windows' logic share:
// where discovery meets, which setup port each family listens on, and how
// much a receiver buffers. Standard C++ only, so the headless windows can use
// it without Qt.
#include <cstdint>

namespace protocol {

inline constexpr char DefaultGroup[] = "239.255.42.61";
inline constexpr uint16_t DefaultPort = 21061;

// The setup API's port: family 2 (login first) on 80, family 0 on 8481.
inline constexpr uint16_t HttpPortFamily2 = 80;
inline constexpr uint16_t HttpPortFamily0 = 8481;
constexpr uint16_t HttpPortForFamily(int family) { return family != 0 ? HttpPortFamily2 : HttpPortFamily0; }

// Discovery sockets ask the kernel for this much receive buffer, so a burst
// of answers from a large fleet is queued rather than dropped.
inline constexpr int ReceiveBufferBytes = 4 * 1024 * 1024;

// ONVIF cameras: found by WS-Discovery on its own group, set up through the
// device service at its fixed entry point. A found ONVIF camera's Mode text
// is OnvifModeText; the connection instance speaks ONVIF to its target when
// its ProtocolOption is OnvifProtocolOption.
inline constexpr char WsDiscoveryGroup[] = "239.255.255.250";
inline constexpr uint16_t WsDiscoveryPort = 3702;
inline constexpr char OnvifDevicePath[] = "/onvif/device_service";
inline constexpr char16_t OnvifModeText[] = u"ONVIF";
inline constexpr int32_t OnvifProtocolOption = 1;
// After the login the connection instance reads an ONVIF camera's firmware
// version and MAC under these text keys (its address, mask and gateway under
// the address page's own keys).
inline constexpr char16_t FirmwareVersionKey[] = u"SysFirmwareVersion";
inline constexpr char16_t MacAddressKey[] = u"SysMacAddress";

}  // namespace protocol

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
// Receivers read at most this many datagrams per turn of the event loop, so
// that under a flood their timers still run (a search still ends at its cap).
inline constexpr int DatagramsPerTurn = 64;
// Room for any UDP datagram's payload, when a receiver reads it whole.
inline constexpr int LargestDatagramBytes = 64 * 1024;
// A flood of bad datagrams must not flood a log: the first this many drops
// are logged with their reason, the rest only counted.
inline constexpr int LoggedDrops = 20;

// ONVIF: WS-Discovery's group and port, the longest a device may wait before
// it answers a Probe (the Probe's MaxDelay default), the services' paths and
// the XML namespaces both ends read and write.
inline constexpr char OnvifGroup[] = "239.255.255.250";
inline constexpr char OnvifGroup6[] = "ff02::c";  // link-local scope: each interface on its own
inline constexpr uint16_t OnvifPort = 3702;
inline constexpr int OnvifMaxAnswerDelayMs = 500;
inline constexpr char OnvifDevicePath[] = "/onvif/device_service";
inline constexpr char OnvifMediaPath[] = "/onvif/media_service";

inline constexpr char NsSoapEnvelope[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char NsSoap11Envelope[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char NsAddressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr char NsAddressing2005[] = "http://www.w3.org/2005/08/addressing";
inline constexpr char NsDiscovery[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr char NsDevice[] = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr char NsMedia[] = "http://www.onvif.org/ver10/media/wsdl";
inline constexpr char NsSchema[] = "http://www.onvif.org/ver10/schema";
inline constexpr char NsError[] = "http://www.onvif.org/ver10/error";
inline constexpr char NsNetworkWsdl[] = "http://www.onvif.org/ver10/network/wsdl";
inline constexpr char NsOnvifStem[] = "http://www.onvif.org/ver";  // how every ONVIF namespace begins
inline constexpr char NsSecurity[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr char NsSecurityUtility[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr char PasswordDigestType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
inline constexpr char DiscoveryAnonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
inline constexpr char ProbeAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
inline constexpr char ProbeMatchesAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";

// A found ONVIF camera's Mode text is OnvifModeText; the connection instance
// speaks ONVIF to its target when its ProtocolOption is OnvifProtocolOption.
inline constexpr char16_t OnvifModeText[] = u"ONVIF";
inline constexpr int32_t OnvifProtocolOption = 1;
// After the login the connection instance reads an ONVIF camera's firmware
// version and MAC under these text keys (its address, mask and gateway under
// the address page's own keys).
inline constexpr char16_t FirmwareVersionKey[] = u"SysFirmwareVersion";
inline constexpr char16_t MacAddressKey[] = u"SysMacAddress";
// Read with GetSettingNumber after the login: -1 when the camera takes
// commands from anyone without a login, 0 otherwise (and from a camera that
// does not know the key).
inline constexpr char16_t NoLoginKey[] = u"SysNoLogin";

}  // namespace protocol

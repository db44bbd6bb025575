#pragma once
// How the list and the terminal search show what the camera control
// describes: the MAC text (and its usual colon form), the "Assigned" mark and a camera's web page.
#include <optional>
#include <string>

namespace device {

// The MAC text the camera control gives (decimal numbers joined by ".") as
// the list shows it: six blank-separated groups of two or more upper-case hex
// digits, "??" for a part that is missing or cannot be read.
std::u16string FormatMacText(const std::u16string& macText);

// The same MAC in the usual colon form, "00:0C:22:58:00:0A", with the same
// "??" for a part that cannot be read.
std::u16string FormatMacColonText(const std::u16string& macText);

// Whether the list marks a camera at this address "ok" in its "Assigned"
// column: any address but the two factory ones, compared exactly.
bool IsAssignedAddress(const std::u16string& address);

// The Network column's note for a camera outside the computer's networks
// (one of those RowNote joins); the list's tooltip is given to such rows.
inline constexpr char16_t OutsideNetworkNote[] = u"other network";

// The web page of a camera at the given address: "http://<address>/" for a
// well-formed dotted IPv4 address, nothing for any other text.
std::optional<std::string> CameraWebPage(const std::u16string& address);

}  // namespace device

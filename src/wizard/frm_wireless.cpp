#include "wizard/frm_wireless.h"

#include <limits>
#include <optional>

#include "bits/modBitOps.h"
#include "base/text.h"
#include "regex/modRegEx.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_setup_end.h"

namespace {

constexpr int16_t AsciiFormat = 0;
constexpr int16_t HexFormat = 1;
constexpr int32_t AsciiKeyLimit = 13;
constexpr int32_t HexKeyLimit = 26;
constexpr int ChannelCount = 11;

constexpr char16_t NetworkNamePattern[] = u"[\\x00-\\xff]*";
constexpr char16_t AsciiKeyPattern[] = u"(^\\w{5}$|^$|^\\w{13}$)";
constexpr char16_t HexKeyPattern[] = u"(^[0-9a-fA-F]{10}$|^$|^[0-9a-fA-F]{26}$)";

// Shown for a camera without a network name: it joins any network.
constexpr char16_t AnyNetworkFiller[] = u"any";

// Shown instead of a stored hexadecimal key whose length no key has.
constexpr char16_t HexKeyFiller[] = u"aaaaaaaaaaaaaaaaaaaaaaaaaa";

// The channel text as a whole number that fits in 16 bits; blanks around it
// are allowed, as in the classic conversion. Nothing for any other text.
std::optional<int16_t> ParseChannel(const std::u16string& text) {
  std::u16string_view digits = base::TrimBlanks(text);
  bool negative = false;
  if (!digits.empty() && (digits.front() == u'-' || digits.front() == u'+')) {
    negative = digits.front() == u'-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  int32_t value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > std::numeric_limits<int16_t>::max() + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int16_t>::max()) return std::nullopt;
  return static_cast<int16_t>(value);
}

}  // namespace

FrmWireless::FrmWireless(Program& program) : program(program) {
  optConnectionMode.name = "optConnectionMode";
  optConnectionMode.captions = {u"Infrastructure", u"Adhoc", u""};
  txtWlanESSID.name = "txtWlanESSID";
  CboChannel.name = "CboChannel";
  txtWlanWEPKey.name = "txtWlanWEPKey";
  txtWlanWEPKey.passwordChar = u'*';
  optWEPKeyFormat.name = "optWEPKeyFormat";
  optWEPKeyFormat.captions = {u"ASCII", u"HEX"};
  CheckEWK.name = "CheckEWK";
  txtNewWlanWEPKey.name = "txtNewWlanWEPKey";
  txtWlanWEPKeyConfirm.name = "txtWlanWEPKeyConfirm";
  CmdBack.name = "CmdBack";
  CmdNext.name = "CmdNext";
  ComExit.name = "ComExit";
  int16_t tab = 0;
  for (forms::Control* control : std::initializer_list<forms::Control*>{
           &optConnectionMode, &txtWlanESSID, &CboChannel, &txtWlanWEPKey, &optWEPKeyFormat, &CheckEWK,
           &txtNewWlanWEPKey, &txtWlanWEPKeyConfirm, &CmdBack, &CmdNext, &ComExit}) {
    control->tabIndex = tab++;
  }
  forms::SwitchField(txtWlanWEPKey, false);
  forms::SetFocus(form, txtWlanESSID);
}

void FrmWireless::Form_Load() {
  WizardState& state = program.state;
  optConnectionMode.selected =
      state.CurrentWlanMode >= 0 && state.CurrentWlanMode <= 2 ? state.CurrentWlanMode : int16_t{-1};

  txtWlanESSID.text = state.CurrentWlanESSID;
  if (txtWlanESSID.text.empty()) txtWlanESSID.text = AnyNetworkFiller;

  bool hexKey = modBitOps::BitTestInteger(state.CurrentWlanWEPFlag, HexKeyBit) == True;
  SelectWEPKeyFormat(hexKey ? HexFormat : AsciiFormat);
  txtWlanWEPKey.maxLength = hexKey ? HexKeyLimit : AsciiKeyLimit;
  txtWlanWEPKeyConfirm.maxLength = hexKey ? HexKeyLimit : AsciiKeyLimit;
  state.NewWEPKeyIsHex = hexKey ? True : False;

  txtWlanWEPKey.text = state.CurrentWlanWEPKey;
  if (hexKey) {
    size_t length = base::TrimBlanks(txtWlanWEPKey.text).size();
    if (length != 0 && length != 10 && length != 26) txtWlanWEPKey.text = HexKeyFiller;
  }

  CboChannel.text = base::FromUtf8(std::to_string(state.CurrentWlanChannel));
}

void FrmWireless::Form_Activate() {
  CboChannel.list.clear();
  for (int channel = 1; channel <= ChannelCount; ++channel) {
    CboChannel.list.push_back(base::FromUtf8(std::to_string(channel)));
  }
  // Ticking the box from code runs its click, which switches the key boxes.
  CheckEWK.value = program.state.ChangeWEPKey == True ? 1 : 0;
  CheckEWK_Click();
  forms::SwitchField(txtWlanWEPKey, false);
}

void FrmWireless::CheckEWK_Click() {
  bool ticked = CheckEWK.value == 1;
  forms::SwitchField(txtNewWlanWEPKey, ticked);
  forms::SwitchField(txtWlanWEPKeyConfirm, ticked);
  program.state.ChangeWEPKey = ticked ? True : False;
}

// A text longer than the new limit stays; Next refuses it.
void FrmWireless::optWEPKeyFormat_Click() {
  if (optWEPKeyFormat.IsSelected(AsciiFormat)) {
    txtNewWlanWEPKey.maxLength = AsciiKeyLimit;
    txtWlanWEPKeyConfirm.maxLength = AsciiKeyLimit;
    program.state.NewWEPKeyIsHex = False;
  } else if (optWEPKeyFormat.IsSelected(HexFormat)) {
    txtNewWlanWEPKey.maxLength = HexKeyLimit;
    txtWlanWEPKeyConfirm.maxLength = HexKeyLimit;
    program.state.NewWEPKeyIsHex = True;
  }
}

void FrmWireless::SelectWEPKeyFormat(int16_t index) {
  optWEPKeyFormat.selected = index;
  optWEPKeyFormat_Click();
}

// Any name of single-byte characters. A name so long that the pattern engine
// gives up on it is refused like any other bad name.
bool FrmWireless::NetworkNameAccepted() {
  try {
    return modRegEx::IsWholeMatch(txtWlanESSID.text, NetworkNamePattern);
  } catch (const modRegEx::RegExprError&) {
    return false;
  }
}

// The new key fits its format and equals its confirmation; with no format
// chosen the key is not examined.
bool FrmWireless::NewKeyAccepted() {
  if (CheckEWK.value != 1) return true;
  const char16_t* pattern = optWEPKeyFormat.IsSelected(AsciiFormat) ? AsciiKeyPattern
                            : optWEPKeyFormat.IsSelected(HexFormat) ? HexKeyPattern
                                                                    : nullptr;
  if (pattern == nullptr) return true;
  return modRegEx::IsWholeMatch(txtNewWlanWEPKey.text, pattern) && txtNewWlanWEPKey.text == txtWlanWEPKeyConfirm.text;
}

void FrmWireless::CmdNext_Click() {
  WizardState& state = program.state;
  if (!NetworkNameAccepted()) {
    RefuseEntry(program, form, txtWlanESSID, u"Invalid Network Name (ESS-ID).", state.MessageTitle);
    return;
  }
  if (!NewKeyAccepted()) {
    txtWlanWEPKeyConfirm.text.clear();
    RefuseEntry(program, form, txtNewWlanWEPKey, u"Invalid WEP Key.", state.MessageTitle);
    return;
  }
  std::optional<int16_t> channel = ParseChannel(CboChannel.text);
  if (!channel) {
    program.desktop.MessageBox(u"Invalid Wireless Channel.", state.MessageTitle, forms::MsgIcon::Critical,
                               forms::MsgButtons::OK);
    forms::SetFocus(form, CboChannel);
    return;
  }
  if (optConnectionMode.selected >= 0) state.NewWlanMode = optConnectionMode.selected;
  // The filler stands for the camera's empty name and is not written as a
  // name of its own.
  const bool filler = state.CurrentWlanESSID.empty() && txtWlanESSID.text == AnyNetworkFiller;
  state.NewWlanESSID = filler ? state.CurrentWlanESSID : txtWlanESSID.text;
  state.NewWlanChannel = *channel;
  if (state.ChangeWEPKey == True) state.NewWlanWEPKey = txtNewWlanWEPKey.text;
  program.desktop.SetMousePointer(forms::DefaultPointer);
  Show(program, program.setupEnd);
  Hide(program, program.wireless);
}

void FrmWireless::CmdBack_Click() {
  Show(program, program.setIPAddress);
  Hide(program, program.wireless);
}

void FrmWireless::ComExit_Click() { program.desktop.EndProgram(); }

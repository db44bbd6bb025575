#include "wizard/frm_setup_end.h"

#include "wizard/frm_main.h"
#include "bits/modBitOps.h"
#include "base/text.h"
#include "wizard/apply_settings.h"
#include "wizard/frm_wireless.h"

namespace {

// The current key is never shown; a mask of its length stands for it, and
// a key of a length no key has gets the longest mask.
std::u16string MaskedKey(const std::u16string& key) {
  size_t length = base::TrimBlanks(key).size();
  switch (length) {
    case 0:
      return u"";
    case 5:
    case 10:
    case 13:
      return std::u16string(length, u'*');
    default:
      return std::u16string(26, u'*');
  }
}

// A camera reads "Any" as no network name in particular.
std::u16string NetworkNameToWrite(const std::u16string& name) { return name == u"Any" ? u"" : name; }

}  // namespace

FrmSetupEnd::FrmSetupEnd(Program& program) : program(program) {
  LblID.name = "LblID";
  LblPassword.name = "LblPassword";
  LblIP.name = "LblIP";
  LblSubnet.name = "LblSubnet";
  LblAccess.name = "LblAccess";
  LblSSID.name = "LblSSID";
  LblChannel.name = "LblChannel";
  LblWebKey.name = "LblWebKey";
  CmdBack.name = "CmdBack";
  CmdBack.tabIndex = 0;
  CmdRestart.name = "CmdRestart";
  CmdRestart.tabIndex = 1;
}

void FrmSetupEnd::Form_Activate() {
  const WizardState& state = program.state;
  LblID.caption = AdminIDToWrite(state);
  LblPassword.caption = AdminPasswordToWrite(state);
  LblIP.caption = state.NewIPAddress;
  LblSubnet.caption = state.NewSubnetMask;
  LblSSID.caption = state.NewWlanESSID;
  LblChannel.caption = base::FromUtf8(std::to_string(state.NewWlanChannel));
  LblWebKey.caption = state.ChangeWEPKey == True ? state.NewWlanWEPKey : MaskedKey(state.CurrentWlanWEPKey);
  ShowAccessControl(program, LblAccess);
}

void FrmSetupEnd::CmdBack_Click() {
  Show(program, program.wireless);
  Hide(program, program.setupEnd);
}

void FrmSetupEnd::CmdRestart_Click() {
  Program& owner = program;
  const WizardState& state = owner.state;
  device::CameraControl& camera = owner.CamTemp;
  owner.desktop.SetMousePointer(forms::Hourglass);
  try {
    camera.SetSetting(u"WlanMode", state.NewWlanMode);
    camera.SetSetting(u"WlanESSID", NetworkNameToWrite(state.NewWlanESSID));
    camera.SetSetting(u"WlanChannel", state.NewWlanChannel);
    // Only the key-format bit changes; the other bits go back as the camera
    // reported them.
    int16_t flag = state.CurrentWlanWEPFlag;
    if (state.NewWEPKeyIsHex == True) {
      modBitOps::BitSetInteger(flag, HexKeyBit);
    } else {
      modBitOps::BitClearInteger(flag, HexKeyBit);
    }
    camera.SetSetting(u"WlanWEPFlag", flag);
    const FrmWireless& wireless = *owner.wireless;
    if (wireless.CheckEWK.value == 1) {
      camera.SetSetting(state.NewWEPKeyIsHex == True ? u"WlanWEPKeyHEX" : u"WlanWEPKey",
                        wireless.txtNewWlanWEPKey.text);
    }
    WriteAccountAndAddressAndApply(owner);
  } catch (const device::CameraControlError& error) {
    ShowCameraError(owner, error);
    return;
  }
  owner.desktop.SetMousePointer(forms::DefaultPointer);
  CloseWizardAndReopenMain(owner, WizardKind::Wireless);
  Unload(owner, owner.setupEnd);
}

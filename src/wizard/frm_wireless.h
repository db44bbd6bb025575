#pragma once
// The wireless page, for cameras with a wireless interface: connection mode,
// network name, channel, and a new WEP key in ASCII or hexadecimal form.
#include "wizard/program.h"

struct FrmWireless {
  static constexpr forms::WindowId Id = forms::WindowId::FrmWireless;
  explicit FrmWireless(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::OptionArray optConnectionMode;  // 0 Infrastructure, 1 Adhoc, 2 (no caption)
  forms::TextBox txtWlanESSID;
  forms::ComboBox CboChannel;
  forms::TextBox txtWlanWEPKey;        // the camera's key, shown masked and never editable
  forms::OptionArray optWEPKeyFormat;  // 0 ASCII, 1 HEX
  forms::CheckBox CheckEWK;
  forms::TextBox txtNewWlanWEPKey;
  forms::TextBox txtWlanWEPKeyConfirm;
  forms::Button CmdBack;
  forms::Button CmdNext;
  forms::Button ComExit;

  void Form_Load();
  void Form_Activate();
  void CheckEWK_Click();
  void optWEPKeyFormat_Click();
  void CmdNext_Click();
  void CmdBack_Click();
  void ComExit_Click();

  // Selecting a key format from code, as from the user: the click runs.
  void SelectWEPKeyFormat(int16_t index);

 private:
  bool NetworkNameAccepted();
  bool NewKeyAccepted();
};

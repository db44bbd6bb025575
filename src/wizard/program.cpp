#include "wizard/program.h"

#include "wizard/frm_main.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_message.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_sys_about.h"
#include "wizard/frm_wireless.h"

Program::Program(forms::Desktop& desktop, device::CameraControl& cam, device::CameraControl& camTemp)
    : desktop(desktop), cam(cam), CamTemp(camTemp) {}

Program::~Program() = default;

void Program::Start() { Show(*this, frmMain); }

void Program::DisposeUnloaded() { unloaded.clear(); }

void RefuseEntry(Program& program, forms::FormModel& form, forms::TextBox& field, const std::u16string& message,
                 const std::u16string& title) {
  program.desktop.MessageBox(message, title, forms::MsgIcon::Critical, forms::MsgButtons::OK);
  forms::SetFocus(form, field);
  forms::SendKeys(field, u"{Home}+{End}");
}

void ShowAddressConflict(Program& program, forms::FormModel& form, forms::TextBox& field) {
  RefuseEntry(program, form, field, field.text + u"\r\n IP conflict !!", u"Sentrova");
}

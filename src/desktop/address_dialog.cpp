#include "desktop/address_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QVBoxLayout>

#include "device/address_search.h"

namespace desktop {
namespace {

const QString LastAddressKey = QStringLiteral("MainWindow/lastCameraAddress");

}  // namespace

std::optional<QString> AskCameraAddress(QWidget& parent) {
  QDialog dialog(&parent);
  dialog.setObjectName(QStringLiteral("AddressDialog"));
  dialog.setWindowTitle(QStringLiteral("Add camera by address"));
  dialog.setModal(true);
  auto* field = new QLineEdit(&dialog);
  field->setObjectName(QStringLiteral("CameraAddress"));
  field->setPlaceholderText(QStringLiteral("192.0.2.10 or 192.0.2.10:8080"));
  // Room for the example and a little more, so that it is read whole.
  field->setMinimumWidth(field->fontMetrics().horizontalAdvance(field->placeholderText() + QStringLiteral("0000")));
  // Typing is held to digits, dots and one port; Add waits for a whole
  // address, and the reason shows below the field until there is one.
  field->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{1,3}(\\.[0-9]{1,3}){0,3}(:[0-9]{0,5})?")), field));
  QSettings settings(QStringLiteral("sentrova"), QStringLiteral("sentrova"));
  field->setText(settings.value(LastAddressKey).toString());
  field->selectAll();
  auto* label = new QLabel(QStringLiteral("Camera &address:"), &dialog);
  label->setBuddy(field);
  field->setAccessibleName(QStringLiteral("Camera address"));
  auto* note = new QLabel(QStringLiteral("For a camera the search cannot reach (another VLAN, behind a router). "
                                         "A port is the camera's ONVIF service port."),
                          &dialog);
  note->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QPushButton* add = buttons->button(QDialogButtonBox::Ok);
  add->setText(QStringLiteral("&Add"));
  add->setToolTip(QStringLiteral("Search for the camera at this address"));
  buttons->button(QDialogButtonBox::Cancel)->setToolTip(QStringLiteral("Add nothing"));
  auto* reason = new QLabel(&dialog);
  reason->setObjectName(QStringLiteral("AddressReason"));
  const auto allow = [field, add, reason] {
    QString error;
    const bool whole = field->hasAcceptableInput() && device::ParseCameraAddress(field->text(), error).has_value();
    add->setEnabled(whole);
    reason->setText(whole || field->text().isEmpty() ? QString() : error);
  };
  QObject::connect(field, &QLineEdit::textChanged, &dialog, allow);
  allow();
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout;
  form->addRow(label, field);
  form->addRow(QString(), reason);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(note);
  layout->addLayout(form);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QString address = field->text();
  settings.setValue(LastAddressKey, address);
  return address;
}

}  // namespace desktop

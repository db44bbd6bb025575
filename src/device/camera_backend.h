#pragma once
// The connection instance speaks to its target in one protocol, chosen when
// the target is set (ProtocolOption): our own (own_backend) or ONVIF
// (onvif_backend). Both sit behind this one interface; what the connection
// instance was told about its target, and the credentials in use, are shared
// with the backend in a Target it owns.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "device/http_client.h"

namespace device {

struct Target {
  QString address;
  int32_t port = 0;
  QString mac;          // as the search gave it (decimal numbers joined by ".")
  QString servicePath;  // ONVIF: the device service's path, when the search found another
  QString linkLocal;    // ONVIF: its device service's scoped IPv6 link-local address, when offered
  QString loginId;      // the credentials in use for this camera
  QString loginPassword;
};

// Sends one request to the address it names on the target's port, within the
// options' limits, and refuses an address it may not contact. A request's
// own timeout, when longer, wins (a reboot answer can be slow).
using HttpSend = std::function<HttpResponse(const char* member, HttpRequest request)>;

class CameraBackend {
 public:
  virtual ~CameraBackend() = default;

  // The target is another camera (or the same one, at another address):
  // forget what was read from the earlier one.
  virtual void Retarget() = 0;

  // As the camera control's members of these names, with the credentials of
  // the shared Target; Login keeps accepted credentials there.
  virtual int32_t Connect() = 0;
  virtual int32_t LoginState() = 0;
  virtual int32_t Login(const QString& id, const QString& password) = 0;
  virtual int32_t Number(const QString& key) = 0;
  virtual QString Text(const QString& key) = 0;
  // Writes the kept settings (the wizard's keys); throws CameraControlError
  // when one does not take, saying what is in effect.
  virtual void Apply(const QJsonObject& kept) = 0;
  virtual void Restart() = 0;
  // Keeps a new address for the next Apply; kept receives what must go with it.
  virtual int32_t ChangeAddress(const QString& address, const QString& mask, const QString& gateway,
                                QJsonObject& kept) = 0;
  // Whether a camera of this protocol answers at the target address.
  virtual bool AddressInUse() = 0;
  // What the last Apply wrote but could not read back.
  virtual QStringList Unconfirmed() const = 0;
};

}  // namespace device

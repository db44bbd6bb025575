#pragma once
// WS-Security UsernameToken with PasswordDigest, the login ONVIF cameras
// take in the SOAP header. The password itself never travels: the digest is
// Base64(SHA-1(nonce + created + password)). A camera refuses a token whose
// Created time is far from its own clock, and cameras' clocks are often hours
// off, so Created is written in the camera's time: our clock plus the offset
// measured with GetSystemDateAndTime (which needs no login).
#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace device::onvif {

// The camera's clock minus ours, in milliseconds: cameraUtc is what the camera
// answered, between our sentAt and receivedAt; the answer is taken as made
// halfway through the exchange.
qint64 ClockOffsetMs(const QDateTime& cameraUtc, const QDateTime& sentAt, const QDateTime& receivedAt);

// A UsernameToken's Created text: UTC, milliseconds, "Z".
QString CreatedText(const QDateTime& utc);

// The wsse:Security header element for one request, stamped with our clock
// now plus the offset and a fresh random nonce (or the nonce given, for tests).
QString SecurityHeader(const QString& user, const QString& password, qint64 clockOffsetMs, const QDateTime& ourNow,
                       const QByteArray& nonce = {});

}  // namespace device::onvif

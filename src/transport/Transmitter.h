#pragma once

#include "transport/ComPort.h"

#include <QByteArray>
#include <QString>

#include <functional>

class TIniFile;

// The program's one serial port: the port with the system's defaults (even parity, replies ended by
// a 50 ms silence), its settings file INI/ComPort.ini, an open that tells the operator when it
// fails, and the request-answer exchange the device protocol runs on.
class TTransmitter : public TComPort
{
public:
    using TTransactEvent =
        std::function<void(TTransmitter* sender, const QByteArray& request, const QByteArray& response)>;

    explicit TTransmitter(QObject* owner = nullptr);

    // INI/ComPort.ini in the program folder, fixed at construction.
    const QString SettingsFile;
    // Called after each exchange that did not fail.
    TTransactEvent OnTransact;

    // Loads the settings file; all of it reaches the driver at once. Raises EComPort number 17.
    void ReadSettings();
    // False when the file cannot be prepared or written.
    bool WriteSettings();
    void ReadSection(const TIniFile& ini);
    void WriteSection(TIniFile& ini) const;

    // Opens the port; on failure tells the operator and returns false.
    bool ActivatePort();
    // Closes the port; false on failure, shown to no one.
    bool DeactivatePort();

    // One exchange: purge both queues, send the request, read up to count bytes by the
    // time-outs. Never raises; after any failure the response is empty.
    void Transact(const QByteArray& request, QByteArray& response, int count);

    // A message box with the error icon.
    static void ShowAlert(const QString& caption, const QString& text);
};

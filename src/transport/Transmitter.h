#pragma once

#include "common/GuardedHandler.h"
#include "transport/ComPort.h"

#include <QByteArray>
#include <QString>


class TIniFile;

// The program's one serial port: the port with the system's defaults (even parity, replies ended by
// a 50 ms silence), its settings file INI/ComPort.ini, an open that tells the operator when it
// fails, and the request-answer exchange the device protocol runs on.
class TTransmitter : public TComPort
{
public:
    using TTransactEvent =
        TGuardedHandler<void(TTransmitter* sender, const QByteArray& request, const QByteArray& response)>;

    explicit TTransmitter(QObject* owner = nullptr);

    // INI/ComPort.ini in the program folder, fixed at construction.
    const QString SettingsFile;
    // Called after each exchange that did not fail, in the thread of the exchange; the request
    // thread raises it while the UI thread may reassign it.
    TTransactEvent OnTransact;

    // Loads the settings file; all of it reaches the driver at once. Raises EComPort number 17.
    void ReadSettings();
    // False when the file cannot be prepared or written; error, when given, then says which file
    // and why, in Russian.
    bool WriteSettings(QString* error = nullptr);
    void ReadSection(const TIniFile& ini);
    void WriteSection(TIniFile& ini) const;

    // Opens the port; on failure tells the operator and returns false.
    bool ActivatePort();
    // Closes the port; false on failure, shown to no one.
    bool DeactivatePort();

    // One exchange: purge both queues, send the request, read up to count bytes by the
    // time-outs; an echo of the request is dropped and the read goes on. Never raises; after any
    // failure the response is empty. longestAnswer, when
    // given, is the longest answer the request can get: the read then lasts at least as long as
    // ReadFloor says.
    void Transact(const QByteArray& request, QByteArray& response, int count, int longestAnswer = 0);
    // The time the request and the answer take on the line at the port's speed and framing, the
    // answer's bytes with the 1.5 characters of silence Modbus allows between them, plus
    // ReadTotalConstant; two characters between bytes. Below the time-outs at 9600 baud and up.
    TReadFloor ReadFloor(int requestBytes, int answerBytes) const;

    // Lets a late answer of a failed exchange arrive and be dropped, so that it is never taken
    // for the next one: waits until the line has been quiet for the read limit of that exchange's
    // request and longest answer (the time-outs' and ReadFloor's), at most cap; see
    // TCustomComPort::AwaitSilence. False when the line kept talking or the wait failed; never raises.
    bool AwaitSilence(int requestBytes, int longestAnswer, std::chrono::steady_clock::time_point quietSince,
                      std::chrono::milliseconds cap);

    // A message box with the error icon.
    static void ShowAlert(const QString& caption, const QString& text);
};

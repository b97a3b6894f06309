#pragma once

#include <QString>

#include <atomic>

class TVantor;

// Process-wide settings kept with the controller in INI/VANTOR.ini.
extern std::atomic<int> ComPauseRead;   // ms between the requests of one poll cycle
extern std::atomic<int> ComPauseWrite;  // ms after a write before reading back
extern int Sensitivity;                 // the controller's ErrorMax

// The largest pause the file may set: anything longer would stall polling.
constexpr int kMaxComPause = 60000;
// The highest Modbus slave address; above it the addresses are reserved.
constexpr int kMaxSystemAddress = 247;

// The one controller, between start-up and shut-down; null otherwise.
TVantor* Vantor();

// Reads Sensitivity, creates the controller on INI/VANTOR.ini and loads it. Never throws.
void VantorStartup();
void VantorShutdown();

// Sensitivity from and to section VANTOR of INI/VANTOR.ini; a value that is no byte reads as 3.
void LoadSensitivity();
// On failure error, when given, says which file and why, in Russian.
bool SaveSensitivity(QString* error = nullptr);
// The sensitivity and the controller's settings, after a change of the system address.
bool SaveControllerSettings(QString* error = nullptr);

#include "device/VantorUnit.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"
#include "device/Vantor.h"

#include <memory>

std::atomic<int> ComPauseRead{50};
std::atomic<int> ComPauseWrite{150};
int Sensitivity = 3;

namespace {

std::unique_ptr<TVantor> controller;

QString SettingsFile()
{
    return ProgramFolder() + QStringLiteral("INI/VANTOR.ini");
}

}  // namespace

TVantor* Vantor()
{
    return controller.get();
}

void LoadSensitivity()
{
    // A count that does not fit its byte would wrap into another sensitivity.
    Sensitivity = TIniFile(SettingsFile()).ReadInteger(QStringLiteral("VANTOR"), QStringLiteral("Sensitivity"), 3, 0, 255);
}

bool SaveSensitivity(QString* error)
{
    TIniFile ini(SettingsFile());
    ini.WriteInteger(QStringLiteral("VANTOR"), QStringLiteral("Sensitivity"), Sensitivity);
    return ini.SaveTelling(error);
}

bool SaveControllerSettings(QString* error)
{
    // Both go into the same file; a failure of the address is the one that matters.
    QString sensitivityError;
    const bool sensitivitySaved = SaveSensitivity(&sensitivityError);
    const bool settingsSaved = !controller || controller->Save(error);
    if (!sensitivitySaved && settingsSaved && error)
        *error = sensitivityError;
    return sensitivitySaved && settingsSaved;
}

void VantorStartup()
{
    try {
        LoadSensitivity();
        controller = std::make_unique<TVantor>();
        controller->SetFileName(SettingsFile());
        controller->SetErrorMax(static_cast<quint8>(Sensitivity));
        controller->Load();
    } catch (...) {
        // The program starts with what could be set up.
    }
}

void VantorShutdown()
{
    controller.reset();
}

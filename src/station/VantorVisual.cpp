#include "station/VantorVisual.h"

#include "device/Vantor.h"
#include "device/VantorUnit.h"

TVantorVisual::TVantorVisual()
{
    iolblModuleError.OnSetValue = [this](TIOData*) { ModuleErrorSet(); };
    LinkAll();
}

TVantorVisual::~TVantorVisual()
{
    UnlinkAll();
    iolblModuleError.OnSetValue = nullptr;
}

void TVantorVisual::LinkAll()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    iolblEnabled.Link(&vantor->Enabled, true);
    iolblModuleError.Link(&vantor->ModuleError, true);
    iolblError.Link(&vantor->Error, true);
}

void TVantorVisual::UnlinkAll()
{
    iolblEnabled.Link(nullptr);
    iolblModuleError.Link(nullptr);
    iolblError.Link(nullptr);
}

void TVantorVisual::AssignAll()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    iolblEnabled.Assign(vantor->Enabled);
    iolblModuleError.Assign(vantor->ModuleError);
    iolblError.Assign(vantor->Error);
}

void TVantorVisual::RefreshAll()
{
    iolblModuleError.Refresh();
    iolblError.Refresh();
    if (TVantor* vantor = Vantor(); vantor && lbChannel)
        lbChannel->SetCaption(QString::number(vantor->FreqChannel));
}

void TVantorVisual::ModuleErrorSet()
{
    if (TVantor* vantor = Vantor())
        iolblModuleError.Assign(vantor->ModuleError);
}

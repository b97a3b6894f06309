#pragma once

#include "values/LabelValues.h"
#include "values/Persistent.h"

// The controller's own state on three labels of the main window: exchange state, error code and
// radio channel. Its label values follow the one controller while this object lives.
class TVantorVisual : public TPersistent
{
public:
    TVantorVisual();
    ~TVantorVisual() override;
    TVantorVisual(const TVantorVisual&) = delete;
    TVantorVisual& operator=(const TVantorVisual&) = delete;

    TIOThreeStatesLabel iolblEnabled;
    TIOThreeStatesLabel iolblModuleError;
    TIOIntegerLabel iolblError;
    // The radio channel number; not owned.
    TLabelView* lbChannel = nullptr;

    void LinkAll();
    void UnlinkAll();
    // Active flags and descriptions from the controller's values.
    void AssignAll();
    void RefreshAll();

private:
    // Every new module state first takes the controller's description: the error caption is
    // rewritten with the latest error text before the state is set.
    void ModuleErrorSet();
};

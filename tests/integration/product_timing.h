#pragma once
#include "res/resource.h"
#include "sim/in_process_radio.h"
#include "update/memory_map.h"
#include "../unit/test_support.h"

// One update of firmware 3 in the window, at the product's own timing,
// against an in-process radio with `settings`.
struct ProductTimingUpdate {
    explicit ProductTimingUpdate(const RadioModel::Settings& settings) : radio(settings)
    {
        host.portNames = {"sim"};
        host.backends = [this] { return radio.MakeBackend(); };
        host.moduleFile = dir.Path() + "/vokta4";
        dir.Write("boot.s19", kSimBootProgram);
        dir.Write("fw.002", FirmwareText(3));
        view.dialog = &dialog;
        dialog.OnInitDialog("");
        dialog.OnWrite();
    }

    InProcessRadio radio;
    ScriptedView view;
    TestHost host;
    TempDir dir;
    UpdaterDialog dialog{view, host, Timing()};
};


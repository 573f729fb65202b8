#pragma once
#include <memory>
#include <string>

#include "sim/pty_host.h"
#include "sim/radio_model.h"

// The radio's line as the tool sees it: a pseudo-terminal, perhaps behind a
// simulated USB adapter with a serial number that can be pulled out and
// plugged back (a new pseudo-terminal, so another port name). The adapter
// is a file in a folder the tool reads (VOKTA4_ADAPTERS): its name the
// serial number, its first line the port. No real device is involved.
class PluggedLine {
public:
    struct Options {
        std::string link;            // a symbolic link to the port, kept while plugged
        std::string adaptersFolder;  // where the adapter's file goes (empty: no adapter)
        std::string serial;          // the adapter's serial number
    };
    PluggedLine(RadioModel& model, Options options);
    ~PluggedLine();

    // A new pseudo-terminal; its path printed on stdout, the link and the
    // adapter's file made.
    bool Plug(std::string& error);
    // The adapter's file and the link removed, then the line dropped as an
    // adapter pulled out drops it.
    void Unplug();
    bool Plugged() const { return m_host != nullptr; }

private:
    RadioModel& m_model;
    const Options m_options;
    std::unique_ptr<PtyHost> m_host;
    std::string m_lastPort;
};

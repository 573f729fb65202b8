#include "sim/plugged_line.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

PluggedLine::PluggedLine(RadioModel& model, Options options) : m_model(model), m_options(std::move(options)) {}

PluggedLine::~PluggedLine()
{
    Unplug();
}

bool PluggedLine::Plug(std::string& error)
{
    if (m_host)
        return true;
    error.clear();  // an earlier failure's words are no failure of this plug
    // Plugged back, an adapter comes under another name, as it does when
    // the system gave its old name away meanwhile: a pseudo-terminal that
    // takes the old name is held until one with a new name is found.
    std::vector<std::unique_ptr<PtyHost>> oldName;
    auto host = std::make_unique<PtyHost>(m_model);
    while (host->Start(error) && host->SlavePath() == m_lastPort && oldName.size() < 4) {
        oldName.push_back(std::move(host));
        host = std::make_unique<PtyHost>(m_model);
    }
    if (!error.empty())
        return false;
    const std::string& port = host->SlavePath();
    m_lastPort = port;
    if (!m_options.link.empty()) {
        ::unlink(m_options.link.c_str());
        if (::symlink(port.c_str(), m_options.link.c_str()) != 0) {
            error = "cannot link " + m_options.link;
            return false;
        }
    }
    if (!m_options.adaptersFolder.empty()) {
        // Written aside and renamed, so that the tool never reads half a file.
        const fs::path file = fs::path(m_options.adaptersFolder) / m_options.serial;
        const fs::path aside = fs::path(m_options.adaptersFolder) / ("." + m_options.serial);
        std::ofstream(aside) << port << "\n";
        std::error_code ec;
        fs::rename(aside, file, ec);
        if (ec) {
            error = "cannot write " + file.string() + ": " + ec.message();
            return false;
        }
    }
    m_host = std::move(host);
    std::cout << port << std::endl;
    return true;
}

void PluggedLine::Unplug()
{
    if (!m_host)
        return;
    std::error_code ec;
    if (!m_options.adaptersFolder.empty())
        fs::remove(fs::path(m_options.adaptersFolder) / m_options.serial, ec);
    if (!m_options.link.empty())
        ::unlink(m_options.link.c_str());
    m_host->Stop();
    m_host.reset();
}

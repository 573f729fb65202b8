#pragma once
#include <string>
#include <vector>

#include "dialog/dialog_view.h"

// A window that shows nothing and keeps the port list: for running the
// dialog in a benchmark. OK/Cancel questions are answered with `answer`.
class SilentView : public DialogView {
public:
    explicit SilentView(bool answer = false) : m_answer(answer) {}

    std::vector<std::string> ports;
    std::string port;  // the selected port

    void SetTitle(const std::string&) override {}
    void SetIcon() override {}
    void SetPortList(const std::vector<std::string>& list, int) override { ports = list; }
    std::string SelectedPort() const override { return port; }
    void SelectPort(const std::string&) override {}
    void SetFirmwarePath(const std::string&) override {}
    std::string FirmwarePath() const override { return std::string(); }
    void SetLogText(const std::string&, const std::string&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void LockControls(bool) override {}
    bool ShowMessage(const std::string&, MessageButtons) override { return m_answer; }
    void EndDialog() override {}

private:
    bool m_answer;
};

#include <gtest/gtest.h>

#include "res/resource.h"
#include "test_support.h"

namespace {

// Ports named "bad..." do not open; all others do.
struct InitFixture : ::testing::Test {
    ScriptedView view;
    TestHost host;
    TempDir dir;
    std::unique_ptr<UpdaterDialog> dialog;
    std::vector<std::string> opened;

    class NamedBackend : public FakeBackend {
    public:
        NamedBackend(InitFixture& f) : FakeBackend(std::make_shared<Shared>()), m_f(f) {}
        bool Open(const std::string& name, std::string& error) override
        {
            m_f.opened.push_back(name);
            if (name.empty() || name.rfind("bad", 0) == 0) {
                error = "busy";
                return false;
            }
            return FakeBackend::Open(name, error);
        }

    private:
        InitFixture& m_f;
    };

    InitFixture()
    {
        host.backends = [this] { return std::make_unique<NamedBackend>(*this); };
        host.moduleFile = dir.Path() + "/vokta4";
        dir.Write("boot.s19", kSimBootProgram);
        dialog = std::make_unique<UpdaterDialog>(view, host, FastTiming());
        view.dialog = dialog.get();
    }
};

}  // namespace

TEST_F(InitFixture, OnlyAnExactTestSwitchSelectsTestMode)
{
    const std::pair<const char*, const char*> cases[] = {
        {"-T", "TEST"}, {"-t", "TEST"}, {"/t", "TEST"}, {"/T", "TEST"}, {" -T", "RELEASE"},
        {"-T ", "RELEASE"}, {"-Tx", "RELEASE"}, {"", "RELEASE"}, {"-test", "RELEASE"}};
    for (const auto& [line, mode] : cases) {
        dialog->OnInitDialog(line);
        EXPECT_EQ(dialog->Mode(), mode) << "command line '" << line << "'";
        EXPECT_EQ(view.title, std::string("VOKTA4 ") + mode + " (R01.00) for VR-3900");
    }
}

TEST_F(InitFixture, PortsThatOpenAreListedInOrderWithTheSavedOneSelected)
{
    host.portNames = {"/dev/ttyUSB1", "bad0", "/dev/ttyUSB0", "/dev/ttyACM0"};
    host.profile["VOKTA4/PORT"] = "/dev/ttyUSB0";
    dialog->OnInitDialog("");
    EXPECT_EQ(view.ports, (std::vector<std::string>{"/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyACM0"}));
    EXPECT_EQ(view.SelectedPort(), "/dev/ttyUSB0");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(InitFixture, WithoutAUsableSavedPortTheFirstIsSelectedAndSavedAtExit)
{
    host.portNames = {"/dev/ttyUSB1", "bad-saved"};
    host.profile["VOKTA4/PORT"] = "bad-saved";
    dialog->OnInitDialog("");
    EXPECT_EQ(view.SelectedPort(), "/dev/ttyUSB1");
    dialog->OnDestroy();
    EXPECT_EQ(host.profile["VOKTA4/PORT"], "/dev/ttyUSB1");

    host.profile.clear();  // first start: the default "0" matches nothing
    dialog->OnInitDialog("");
    EXPECT_EQ(view.selected, 0);
}

TEST_F(InitFixture, FailedEnumerationShowsErrorAndLeavesTheListEmpty)
{
    host.enumerateOk = false;
    host.portNames = {"/dev/ttyUSB0"};
    dialog->OnInitDialog("");
    EXPECT_EQ(view.messages, std::vector<std::string>{TXT_ERROR});
    EXPECT_TRUE(view.ports.empty());
    EXPECT_EQ(view.selected, -1);
    EXPECT_TRUE(opened.empty());

    dir.Write("fw.002", FirmwareText(1));
    view.firmware = dir.File("fw.002");
    dialog->OnWrite();  // no port: the open fails
    EXPECT_EQ(view.messages.back(), "Can't open COM port!");
    EXPECT_EQ(view.log, "Waiting for power on Radio.\r\nno port selected");  // the first line and the reason
    EXPECT_TRUE(view.locks.empty());
}

TEST_F(InitFixture, TheFirmwareFileIsTheFirst002BesideTheProgram)
{
    dialog->OnInitDialog("");
    EXPECT_EQ(view.firmware, "");
#ifndef _WIN32  // on Windows the first in the file system's order, which wine does not sort
    dir.Write("B.002", "S9030000FC\n");
#endif
    dir.Write("A.002", "S9030000FC\n");
    dir.Write("C.003", "");
    dialog->OnInitDialog("");
    EXPECT_EQ(view.firmware, dir.Path() + "/A.002");
    EXPECT_EQ(dialog->GetModuleDirectory(), dir.Path() + "/");
}

TEST_F(InitFixture, CloseWhenIdleClosesThePortAndEndsTheDialog)
{
    dialog->OnCloseButton();
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(dialog->Serial().IsOpen());
}

TEST_F(InitFixture, TheLogKeepsLinesAndTransientTextApart)
{
    dialog->AppendLog("Boot program sending.", false);
    dialog->ShowTransient("\tLine 3");
    EXPECT_EQ(view.log, "Boot program sending.");
    EXPECT_EQ(view.transient, "\tLine 3");
    dialog->AppendLog("\t\t......OK", false);
    dialog->AppendLog("Boot program start.", true);
    EXPECT_EQ(view.log, "Boot program sending.\t\t......OK\r\nBoot program start.");
    EXPECT_EQ(view.transient, "");
    dialog->ClearLog();
    EXPECT_EQ(view.log, "");
}


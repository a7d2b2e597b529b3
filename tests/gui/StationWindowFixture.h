#pragma once

#include "base/settings/SettingsFile.h"
#include "base/tasking/StationLog.h"
#include "gui/MainForm.h"
#include "gui/QtMessageTarget.h"
#include "station/QueueRunner.h"
#include "station/StartupOperation.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TaskContexts.h"
#include "tools/pgbwrite/PageBufferWriter.h"

#include <QApplication>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace tavrin::testing {

// The desktop the window tests run on: one offscreen screen of the given
// size in pixels at 96 dpi, written where the platform reads it.
inline std::string OffscreenDesktop(int width, int height)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("tavrin-desktop-" + std::to_string(width) + "x" + std::to_string(height) + "-" +
                                        std::to_string(QCoreApplication::applicationPid()) + ".json");
    std::ofstream(file) << "{\"windowFrameMargins\": false, \"screens\": [{\"name\": \"Desk\", \"x\": 0, \"y\": 0, "
                        << "\"width\": " << width << ", \"height\": " << height
                        << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
    return "offscreen:configfile=" + file.string();
}

// An application object for one test, on the offscreen platform: a desktop
// of 1600 x 1200 pixels, room enough for every window at its design size,
// unless the test chose another offscreen desktop before.
class TOffscreenApplication {
public:
    TOffscreenApplication()
    {
        if (!qgetenv("QT_QPA_PLATFORM").startsWith("offscreen:configfile="))
            qputenv("QT_QPA_PLATFORM", OffscreenDesktop(1600, 1200).c_str());
        Application = std::make_unique<QApplication>(Argc, Argv);
        QApplication::setApplicationName("Tavrin Remote Proofing System");
        // The platform has read its desktop: the file is no longer needed.
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        const qsizetype file = platform.indexOf("configfile=");
        if (file >= 0) {
            std::error_code ignored;
            std::filesystem::remove(platform.mid(file + 11).toStdString(), ignored);
        }
    }
    ~TOffscreenApplication()
    {
        Application.reset();
        qunsetenv("QT_QPA_PLATFORM");
    }
    TOffscreenApplication(const TOffscreenApplication&) = delete;
    TOffscreenApplication& operator=(const TOffscreenApplication&) = delete;

private:
    int Argc = 1;
    char Name[10] = "gui_tests";
    char* Argv[2] = {Name, nullptr};
    std::unique_ptr<QApplication> Application;
};

// Runs answer on the modal dialog of type T once it is up (opened by what
// the test does next, which blocks until the dialog is closed).
template <typename T>
void WhenModal(std::function<void(T&)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no modal dialog of the expected type";
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        answer(*dialog);
    });
}

// The station's main window over a scratch program folder: a complete
// configuration whose page buffer folder holds jobs 7, 12 (two plates) and 30,
// no tasks (a started job ends at once and reaches the post queue), and
// operator questions answered by the test.
class StationWindow : public CatalogueFixture {
protected:
    StationWindow() = default;
    // A window whose runner creates its tasks from kinds.
    explicit StationWindow(TTaskKinds kinds)
        : Runner{Messages, Log, Dialogs, std::move(kinds), ContextMaker(), Catalogue, Settings}
    {
    }

    void SetUp() override
    {
        CatalogueFixture::SetUp();
        Messages.SetHandler(Runner);
        TSettingsRecord settings;
        settings.InputFolder = Folder.Path("pagebuffers").string() + "/";
        settings.FTPServer = "ftp.example.com";
        settings.FTPUserName = "proofs";
        settings.FTPPassword = "secret";
        // A shop host: the password travels only in TLS.
        settings.FTPSecurity = "TLS";
        settings.SMTPHost = "mail.example.com";
        settings.FromEmail = "proofs@example.com";
        settings.WebRoot = "http://proofs.example.com/";
        SaveSettings(settings);
        std::filesystem::create_directories(settings.InputFolder);
        WritePlate(settings.InputFolder, 12, "CYAN");
        WritePlate(settings.InputFolder, 12, "BLACK");
        WritePlate(settings.InputFolder, 7, "BLACK");
        WritePlate(settings.InputFolder, 30, "BLACK");
    }

    void TearDown() override
    {
        Form.reset();
        CatalogueFixture::TearDown();
    }

    // Makes and shows the window, then runs the start-up operation.
    void OpenWindow()
    {
        Form = std::make_unique<TMainForm>(Runner, Startup, Log, Dialogs);
        Form->show();
        Form->RunStartup();
    }

    template <typename T>
    T* Child(const char* name) const
    {
        T* child = Form->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    static void WritePlate(const std::string& folder, int job, const std::string& color)
    {
        TBitmap bitmap{32, 4, std::vector<std::uint8_t>(16, 0)};
        TPlateOptions options;
        options.JobNumber = job;
        options.ColorName = color;
        options.JobName = std::to_string(job) + ".Job" + std::to_string(job) + ".ps";
        WriteFileBytes(folder + std::to_string(job) + "-" + color + ".pgb",
                       PageBufferBytes(PlateLayout(bitmap, options)));
    }

    TOffscreenApplication Application;
    TStationLog Log{[] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; }};
    TScriptedDialogs Dialogs;
    TQtMessageTarget Messages;
    TQueueRunner Runner{Messages, Log, Dialogs, TTaskKinds{}, ContextMaker(), Catalogue, Settings};
    TStartupOperation Startup{Runner, Log, Dialogs, Settings, Catalogue};
    std::unique_ptr<TMainForm> Form;
};

}  // namespace tavrin::testing

#pragma once

#include <QPushButton>

#include <functional>

namespace tavrin {

struct TConnectionTestReport;
struct TSettingsRecord;

// "Test connection": logs on to a server with the settings as they stand in
// the dialog, on a worker thread so that the window stays alive, and shows
// the outcome and the server's certificate in a box ("ConnectionTestBox").
class TConnectionTestButton final : public QPushButton {
    Q_OBJECT
public:
    using TSettingsSource = std::function<TSettingsRecord()>;
    using TTest = std::function<TConnectionTestReport(const TSettingsRecord&)>;

    TConnectionTestButton(const QString& name, TSettingsSource settings, TTest test, QWidget* parent);

private:
    void Start();
    void Show(const TConnectionTestReport& report);

    TSettingsSource Settings;
    TTest Test;
};

}  // namespace tavrin

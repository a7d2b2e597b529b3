#include "engines/web/HTMLJobRecord.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/settings/SettingsRecord.h"
#include "engines/imaging/MasterImagePath.h"
#include "engines/web/TextFileLines.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

namespace tavrin {

namespace {

// Day 0 of TDateTime, 1899-12-30, counted from the system clock's epoch.
constexpr std::chrono::sys_days DateTimeEpoch = std::chrono::sys_days(std::chrono::year(1899) / 12 / 30);

constexpr double MillisecondsPerDay = 86400000.0;

std::vector<std::string> DistinctPlateColors(TCatalogueConnection& catalogue, std::int32_t reference)
{
    std::vector<std::string> colors;
    TRecordSet rows;
    OpenQuery(catalogue, rows, "select * from PlateList where PlateListJobReference = " + std::to_string(reference));
    for (; !rows.Eof(); rows.MoveNext()) {
        const std::string color = FieldValue(rows, "PlateListPlateColor");
        if (!color.empty() && std::find(colors.begin(), colors.end(), color) == colors.end())
            colors.push_back(color);
    }
    CloseQuery(rows);
    return colors;
}

// The local modification time of the file, or the fallback when it is missing.
TDateTime FileDateTime(const std::filesystem::path& path, TDateTime fallback)
{
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error)
        return fallback;
    const auto moment =
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(std::chrono::file_clock::to_sys(written));
    return DateTimeFromLocalTime(ToLocalTime(moment));
}

}  // namespace

TDateTime DateTimeFromLocalTime(const TLocalTime& time)
{
    using namespace std::chrono;
    const sys_days day = year(time.Year) / time.Month / time.Day;
    const double milliseconds = ((time.Hour * 60.0 + time.Minute) * 60.0 + time.Second) * 1000.0 + time.Millisecond;
    return static_cast<double>((day - DateTimeEpoch).count()) + milliseconds / MillisecondsPerDay;
}

TLocalTime LocalTimeFromDateTime(TDateTime moment)
{
    using namespace std::chrono;
    // Whole milliseconds, so that 0.999999 of a day never reads as 23:59:60.
    const auto total = static_cast<long long>(std::llround(moment * MillisecondsPerDay));
    const long long perDay = static_cast<long long>(MillisecondsPerDay);
    const long long dayNumber = total >= 0 ? total / perDay : -((-total + perDay - 1) / perDay);
    long long rest = total - dayNumber * perDay;
    const year_month_day date{DateTimeEpoch + days(dayNumber)};
    TLocalTime time;
    time.Year = static_cast<int>(date.year());
    time.Month = static_cast<int>(static_cast<unsigned>(date.month()));
    time.Day = static_cast<int>(static_cast<unsigned>(date.day()));
    time.Millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    time.Second = static_cast<int>(rest % 60);
    rest /= 60;
    time.Minute = static_cast<int>(rest % 60);
    time.Hour = static_cast<int>(rest / 60);
    return time;
}

std::vector<double> ProofFactors(std::uint32_t maxX, std::uint32_t maxY, std::uint32_t xResolution,
                                 std::uint32_t yResolution)
{
    const double largest = std::max(maxX, maxY);
    const double resolution = std::max(xResolution, yResolution);
    const auto perInch = [&](double pixels) { return resolution > 0 ? pixels / resolution : 0.0; };
    return {largest > 0 ? 576.0 / largest : 0.0, perInch(96), perInch(192), perInch(384), 1.0};
}

std::string TextFileAsHTML(const std::string& path)
{
    if (path.empty() || !std::filesystem::exists(path))
        return {};
    std::string text;
    for (const std::string& line : TextFileLines(path))
        text += line + "<br>";
    return text;
}

THTMLJobRecord BuildHTMLJobRecord(TCatalogueConnection& catalogue, const TJobDetailRecord& job,
                                  const TSettingsRecord& settings, TDateTime noMasterDate)
{
    THTMLJobRecord record;
    record.JobName = job.Name;
    record.JobID = job.UniqueID;
    // Negative catalogue values are damage; they count as nothing.
    const auto unsignedValue = [](std::int32_t value) { return static_cast<std::uint32_t>(std::max(value, 0)); };
    record.NumberOfPages = unsignedValue(job.PageCount);
    record.XResolution = unsignedValue(job.XResolution);
    record.YResolution = unsignedValue(job.YResolution);
    record.MaxX = unsignedValue(job.ImageWidth);
    record.MaxY = unsignedValue(job.ImageHeight);
    record.Factors = ProofFactors(record.MaxX, record.MaxY, record.XResolution, record.YResolution);
    if (!settings.ReplyEmail.empty()) {
        record.ReplyEmail = settings.ReplyEmail;
        record.ReplyEmailName = settings.ReplyEmailName;
    } else {
        record.ReplyEmail = settings.FromEmail;
        record.ReplyEmailName = settings.FromEmail;
    }
    record.Colors = DistinctPlateColors(catalogue, job.Reference);
    record.CreationDate = FileDateTime(MasterImagePath(job.UniqueID, 1), noMasterDate);
    // A relative name means the file beside the program, wherever the station was started from.
    const std::filesystem::path approval(settings.ApprovalText);
    record.ApprovalText = TextFileAsHTML(
        approval.is_relative() && !approval.empty() ? ProgramFolder() + approval.string() : approval.string());
    record.HelpText = TextFileAsHTML(ProgramFolder() + "help.txt");
    return record;
}

}  // namespace tavrin

#include "engines/web/ProofPages.h"

#include "base/catalogue/DueDates.h"
#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/JobSecret.h"
#include "base/catalogue/OutputLayout.h"
#include "base/settings/SettingsRecord.h"
#include "engines/imaging/ChangeMap.h"
#include "engines/web/PageInks.h"
#include "engines/web/ProofDue.h"
#include "engines/web/ProofPrint.h"
#include "engines/web/TextEncoders.h"
#include "engines/web/TextFileLines.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace tavrin {

namespace {

const char* const DocumentType =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" \"http://www.w3.org/TR/html4/loose.dtd\">";
const char* const Separator = "/***********************************************************/";
const char* const PageContainerCell =
    "<div id=\"pagecontainer\" style=\"display:block;position:relative;left:0px;top:0px;margin:0px;border:none;"
    "padding:0px;clear:both;height:100%;width:100%;font-size:0px;\"></div></td></tr></td>";

// Writes one file line by line under its unfinished name, each line ended
// with CR LF; raises with the system's reason as soon as the file cannot be
// created or written. A writer destroyed before Close removes what it wrote.
class TLineWriter {
public:
    explicit TLineWriter(const std::string& path)
        : Path(UnfinishedName(path)), Stream(Path, std::ios::binary | std::ios::trunc)
    {
        if (!Stream)
            Fail("create");
    }
    ~TLineWriter()
    {
        if (Closed)
            return;
        Stream.close();
        std::error_code ignored;
        std::filesystem::remove(Path, ignored);
    }
    TLineWriter(const TLineWriter&) = delete;
    TLineWriter& operator=(const TLineWriter&) = delete;

    void operator()(const std::string& line)
    {
        Stream << line << "\r\n";
        if (!Stream)
            Fail("write");
    }
    // Closes the complete file; it keeps its unfinished name.
    void Close()
    {
        Stream.close();
        if (Stream.fail())
            Fail("write");
        Closed = true;
    }

private:
    [[noreturn]] void Fail(const char* what) const
    {
        throw std::runtime_error(std::string("Cannot ") + what + " " + Path + ": " + std::strerror(errno));
    }
    std::string Path;
    std::ofstream Stream;
    bool Closed = false;
};

template <typename T, typename F>
std::string Joined(const std::vector<T>& items, F format)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i ? "," : "") + format(items[i]);
    return text;
}

void WriteHead(TLineWriter& line, const std::string& pageTitle)
{
    line(DocumentType);
    line("<html><head>");
    line("<title>" + HTMLEncoded(pageTitle) + "</title>");
    line("<style type=\"text/css\"><!--");
}

void WriteStyles(TLineWriter& line)
{
    for (const char* style : {
             "body{font-family:verdana,tahoma,arial,helvetica,sans-serif;font-size:12px;margin:0px;padding:0px;"
             "border-style:none;border-color:#707070;background-color:#F0F0FF;}",
             "a:hover{color:#F08}",
             "form{margin-bottom:0px;}",
             ".lnka{text-decoration:none;color:#018;font-size:12px;}",
             ".lnkb{text-decoration:none;color:#810;font-size:12px;}",
             ".lnkc{text-decoration:none;color:#22F;font-size:12px;}",
             ".navtext{text-decoration:none;color:#834A25;font-size:12px;}",
             ".welcometext{text-decoration:none;color:#888;font-size:18px;}",
             ".headertext{text-decoration:none;color:#22A;font-size:12px;border-width:2px;border-style:outset;"
             "border-color:#D0F0FF;background-color:#C0C0FF;}",
             ".colheadertext{text-decoration:none;color:#000;font-size:12px;}",
             ".datatext{text-decoration:none;color:#000;font-size:12px;}",
             ".prompttext{text-decoration:none;color:#000;font-size:12px;}",
             ".errortext{text-decoration:none;color:#911;font-size:12px;}",
             ".infotext{text-decoration:none;color:#188;font-size:12px;}",
             ".smalltext{text-decoration:none;color:#000;font-size:6px;}",
             ".formtext{text-decoration:none;color:#000;font-size:12px;color:#018;}",
             ".reporttext{width:768px;text-decoration:none;color:#000;font-size:10px;}",
             ".reportheader{text-decoration:none;color:#000;font-size:12px;padding:20px;}",
             ".reportfooter{text-decoration:none;color:#000;font-size:12px;padding:20px;}",
             ".reporttextcontainer{text-decoration:none;color:#000;font-size:10px;}",
             "--></style>",
         })
        line(style);
}

// Lines 26 to 64: the job's data as script variables.
void WriteJobVariables(TLineWriter& line, const THTMLJobRecord& record, const std::string& baseURL,
                       const std::string& scriptDirectory, const std::string& imageDirectory,
                       const std::string& dataDirectory)
{
    for (const char* fixed :
         {"<script type=\"text/javascript\">", "var dataID=0", "var timerID=null;", "var refreshtimer=null;",
          "var datatimer=null;", "var mapid=1;", "var xofs=288;", "var yofs=288;", "var zoom=0;"})
        line(fixed);
    line("var factors=[" + Joined(record.Factors, FactorText) + "];");
    line("var factorzero=factors[0];");
    // Colour names come from the customer's files: escaped like every other string.
    line("var colors=[" + Joined(record.Colors, [](const std::string& c) { return "'" + JSEncoded(c) + "'"; }) + "];");
    line("var jobname='" + JSEncoded(record.JobName) + "';");
    line("var jobid='" + JSEncoded(record.JobID) + "';");
    line("var numberofpages=" + std::to_string(record.NumberOfPages) + ";");
    line("var pagenumber=1;");
    line("var xresolution=" + std::to_string(record.XResolution) + ";");
    line("var yresolution=" + std::to_string(record.YResolution) + ";");
    line("var replyemail='" + JSEncoded(record.ReplyEmail) + "';");
    const std::string& replyName = record.ReplyEmailName.empty() ? record.ReplyEmail : record.ReplyEmailName;
    line("var replyemailname='" + JSEncoded(replyName) + "';");
    line("var creationdate='" + JSEncoded(CreationDateText(record.CreationDate)) + "';");
    line("var approvaltext='" + JSEncoded(record.ApprovalText) + "';");
    line("var helptext='" + JSEncoded(record.HelpText) + "';");
    for (const char* fixed : {"var statechanged=false;", "var busy=false;", "var dfloaded=false;",
                              "var initialized=false;", "var mode=0;", "var maxzoom=4;", "var mapviews=15;"})
        line(fixed);
    line("var maxx=" + std::to_string(record.MaxX) + ";");
    line("var maxy=" + std::to_string(record.MaxY) + ";");
    line(Separator);
    line("var baseurl='" + baseURL + "';");
    line("var datadirectory='" + dataDirectory + "';");
    line("var imagedirectory='" + imageDirectory + "';");
    line("var scriptdirectory='" + scriptDirectory + "';");
    line("var baseimageurl='" + baseURL + imageDirectory + "';");
    line(Separator);
}

// Lines 66 to 141: the zoom functions and the start of the viewer.
void WriteZoomFunctions(TLineWriter& line)
{
    for (const char* fixed :
         {"function zoomFactor(factor) {",
          "if (factor>0) {",
          "return (((1<<(factor))/2)/2)/2;",
          "}",
          "else {",
          "return factorzero",
          "};",
          "};",
          "function zoomMap(factor) {",
          "var obj=document.getElementById('zoomindicator');",
          "if (obj) {",
          "obj.setZoomIndicator(factor);",
          "};",
          "if ((factor==0)&&(map.zoom==0)) {",
          "invalidate(288,288,factor);",
          "}",
          "else {",
          "invalidate(null,null,factor);",
          "};",
          "};",
          "function zoomMapIn() {",
          "if (map.zoom < maxzoom) {",
          "var nz=map.zoom+1;",
          "if (nz<=maxzoom) {",
          "for (var i=map.zoom+1;i<12;i++) {",
          "if (((1<<i)&(mapviews<<1))>0) {",
          "nz=i;",
          "break;",
          "};",
          "};",
          "};",
          "zoomMap(nz);",
          "};",
          "};",
          "function zoomMapOut() {",
          "if (map.zoom > 0) {",
          "var nz=map.zoom-1;",
          "var found=false;",
          "if (nz>0) {",
          "for (var i=map.zoom-1;i>0;i--) {",
          "if (((1<<(i))&(mapviews<<1))>0) {",
          "nz=i;",
          "found=true;",
          "break;",
          "};",
          "};",
          "};",
          "if (!found) {",
          "nz=0;",
          "};",
          "zoomMap(nz);",
          "};",
          "};",
          "function ready() {",
          "if ((dfloaded) && (window.frames['dataframe']) && (document.getElementById('itemframe')) && (!busy)) {",
          "return true;",
          "}",
          "else {",
          "return false;",
          "};",
          "};",
          "function initializeapplication() {",
          "if (initialize) {",
          "initialize('pagecontainer',0,0);",
          "};",
          "};",
          "if (window.addEventListener) {",
          "window.addEventListener(\"load\", initializeapplication, false);",
          "}",
          "else if (window.attachEvent) {",
          "window.attachEvent(\"onload\", initializeapplication);",
          "}",
          "else if (document.getElementById) {",
          "window.onload=initializeapplication;",
          "};",
          "</script>",
          "</head>"})
        line(fixed);
}

// The cell holding the viewer's container, and the end of both pages.
void WritePageContainer(TLineWriter& line, const std::string& background)
{
    line("<td align=\"left\" valign=\"top\" class=\"datatext\" bgcolor=\"" + background + "\">" + PageContainerCell);
    for (const char* fixed : {"</tr>", "</tbody>", "</table>", "</body>", "</html>"})
        line(fixed);
}

// Lines 143 to 160: the page layout around the viewer's container.
void WriteBody(TLineWriter& line, const std::string& logoURL)
{
    line("<body alink=\"blue\" vlink=\"blue\" bgcolor=\"#EEF7F7\">");
    line("<table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\" bgcolor=\"#F0F0FF\">");
    line("<tbody>");
    line("<tr>");
    line("<td id=\"logo\" align=\"left\" class=\"datatext\" bgcolor=\"#FFFFFF\">");
    line("  <img src=\"" + logoURL + "\">");
    line("</td>");
    line("</tr>");
    line("<td id=\"content\" align=\"left\" valign=\"top\" width=\"100%\" class=\"datatext\">");
    line("<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">");
    line("<tbody>");
    line("<tr>");
    WritePageContainer(line, "#F0F0FF");
}

void WritePrintPage(const std::string& fileName, const std::string& pageTitle)
{
    TLineWriter line(fileName);
    WriteHead(line, pageTitle);
    line("body{font-family:verdana,tahoma,arial,helvetica,sans-serif;font-size:12px;margin:0px;padding:0px;"
         "border-style:none;background-color:#FFFFFF;}");
    line(".datatext{text-decoration:none;color:#000;font-size:12px;}");
    line("--></style>");
    line("<tbody>");
    line("<tr>");
    line("<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">");
    WritePageContainer(line, "#FFFFFF");
    line.Close();
}

std::string FolderOf(const std::string& fileName)
{
    const std::size_t separator = fileName.find_last_of(PathDelimiter);
    return separator == std::string::npos ? std::string() : fileName.substr(0, separator + 1);
}

std::locale MachineLocale()
{
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

}  // namespace

void WriteProofPages(const std::string& indexFileName, const std::string& pageTitle, const std::string& baseURL,
                     const THTMLJobRecord& record, const std::string& scriptDirectory,
                     const std::string& imageDirectory, const std::string& dataDirectory)
{
    const std::string printFileName = FolderOf(indexFileName) + "print.html";
    const std::string* writing = &indexFileName;
    const auto removeUnfinished = [&] {
        std::error_code ignored;
        std::filesystem::remove(UnfinishedName(indexFileName), ignored);
        std::filesystem::remove(UnfinishedName(printFileName), ignored);
    };
    try {
        TLineWriter line(indexFileName);
        WriteHead(line, pageTitle);
        WriteStyles(line);
        WriteJobVariables(line, record, baseURL, scriptDirectory, imageDirectory, dataDirectory);
        for (const std::string& scriptLine : TextFileLines(ProgramFolder() + "tavrin.js"))
            line(scriptLine);
        WriteZoomFunctions(line);
        WriteBody(line, baseURL + imageDirectory + "logo.jpg");
        line.Close();
        writing = &printFileName;
        WritePrintPage(printFileName, pageTitle);
        // The viewer page last: once it has its name, both pages are whole.
        CompleteUnfinished(printFileName);
        CompleteUnfinished(indexFileName);
    } catch (const std::runtime_error&) {
        // The writer's and the script reader's errors name their file already.
        removeUnfinished();
        throw;
    } catch (const std::exception& error) {
        // An encoder that ran out of memory does not know the file.
        removeUnfinished();
        throw std::runtime_error("Cannot write " + *writing + ": " + error.what());
    } catch (...) {
        removeUnfinished();
        throw;
    }
}

void RemoveJobProofPages(const std::string& jobFolder)
{
    RemoveOutputFile(jobFolder + "index.html");
    RemoveOutputFile(jobFolder + "print.html");
    RemoveOutputFile(jobFolder + PageInksFileName);
    RemoveOutputFile(jobFolder + ProofPrintFileName);
    RemoveOutputFile(jobFolder + ProofRoundFileName);
    RemoveOutputFile(jobFolder + ProofDueFileName);
    // The change maps belong to the round data: a run that compares no
    // more must not leave those of an earlier run.
    std::error_code error;
    std::vector<std::string> maps;
    for (std::filesystem::directory_iterator entry(jobFolder, error), end; !error && entry != end;
         entry.increment(error))
        if (IsChangeMapDatabaseName(entry->path().filename().string()))
            maps.push_back(entry->path().string());
    for (const std::string& map : maps)
        RemoveOutputFile(map);
}

void WriteJobProofPages(TCatalogueConnection& catalogue, const TJobDetailRecord& job, const TSettingsRecord& settings,
                        const std::string& jobFolder, TDateTime noMasterDate, const TPageColorTables& tables,
                        const TProofRoundData& round)
{
    const THTMLJobRecord record = BuildHTMLJobRecord(catalogue, job, settings, noMasterDate);
    // The pages' ink data first: once the viewer page has its name, the whole proof is there.
    WritePageInks(jobFolder + PageInksFileName, BuildPageInks(catalogue, job, tables));
    WriteProofPrint(jobFolder + ProofPrintFileName,
                    LoadProofFingerprint(catalogue, static_cast<std::uint32_t>(job.Reference), job.PageCount));
    WriteProofRound(jobFolder + ProofRoundFileName, round);
    WriteProofDue(jobFolder + ProofDueFileName, LoadDueDate(catalogue, static_cast<std::uint32_t>(job.Reference)));
    WriteProofPages(jobFolder + "index.html", "Tavrin Remote Proofing By Dranwick - " + record.JobName,
                    settings.WebRoot + "tavrin/", record, "scripts/", "images/",
                    RemoteJobFolderName(job.UniqueID, job.Secret) + "/");
}

std::string CreationDateText(TDateTime moment, const std::locale& locale)
{
    const TLocalTime time = LocalTimeFromDateTime(moment);
    std::tm parts{};
    parts.tm_year = time.Year - 1900;
    parts.tm_mon = time.Month - 1;
    parts.tm_mday = time.Day;
    parts.tm_hour = time.Hour;
    parts.tm_min = time.Minute;
    parts.tm_sec = time.Second;
    const bool midnight = time.Hour == 0 && time.Minute == 0 && time.Second == 0 && time.Millisecond == 0;
    std::ostringstream text;
    text.imbue(locale);
    text << std::put_time(&parts, midnight ? "%x" : "%x %X");
    return text.str();
}

std::string CreationDateText(TDateTime moment)
{
    return CreationDateText(moment, MachineLocale());
}

std::string FactorText(double factor)
{
    // to_chars never looks at the locale and rounds correctly, as "%0.15f" does.
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, factor, std::chars_format::fixed, 15);
    return std::string(text, result.ptr);
}

}  // namespace tavrin

#include "engines/web/ProofPages.h"

#include "base/catalogue/JobDetailRecord.h"
#include "base/catalogue/OutputLayout.h"
#include "base/settings/SettingsRecord.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/ScratchProgramFolder.h"
#include "tests/support/TreePaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace tavrin {
namespace {

using testing::TScratchProgramFolder;

// The dates of the pages follow the machine's locale; the tests pin the C one.
class TCLocale {
public:
    TCLocale()
    {
        if (const char* old = std::getenv("LC_ALL"))
            Old = old;
        ::setenv("LC_ALL", "C", 1);
    }
    ~TCLocale()
    {
        if (Old)
            ::setenv("LC_ALL", Old->c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }

private:
    std::optional<std::string> Old;
};

// Splits a file at CR LF; fails the test on a line end of another kind.
std::vector<std::string> CRLFLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the last line lacks its CR LF";
    for (const std::string& line : lines)
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    return lines;
}

THTMLJobRecord SampleRecord()
{
    THTMLJobRecord record;
    record.JobName = "Spring catalogue";
    record.JobID = "20081231235959123";
    record.NumberOfPages = 2;
    record.XResolution = 600;
    record.YResolution = 600;
    record.MaxX = 4960;
    record.MaxY = 7016;
    record.Factors = ProofFactors(4960, 7016, 600, 600);
    record.ReplyEmail = "proofs@example.com";
    record.ReplyEmailName = "Proof desk";
    record.Colors = {"CYAN", "MAGENTA", "YELLOW", "BLACK"};
    record.CreationDate = DateTimeFromLocalTime({2008, 12, 31, 23, 59, 59, 0});
    record.ApprovalText = "Please approve.<br>";
    record.HelpText = "Drag to pan.<br>";
    return record;
}

class ProofPagesTest : public ::testing::Test {
protected:
    void SetUp() override { Folder.Write("tavrin.js", ""); }

    std::vector<std::string> Write(const THTMLJobRecord& record,
                                   const std::string& baseURL = "http://proofs.test/tavrin/")
    {
        WriteProofPages(Folder.Path("index.html").string(), "Tavrin Remote Proofing By Dranwick - " + record.JobName,
                        baseURL, record, "scripts/", "images/", record.JobID + "/");
        return CRLFLines(Folder.Read("index.html"));
    }

    TCLocale Locale;
    TScratchProgramFolder Folder;
};

// Index of a page line as numbered in the page's listing (1-based), with no viewer script.
const std::string& Line(const std::vector<std::string>& lines, std::size_t number)
{
    return lines.at(number - 1);
}

TEST_F(ProofPagesTest, WholePagesMatchTheGoldenFiles)
{
    Folder.Write("tavrin.js", "var map={zoom:0};\r\nfunction invalidate(x,y,level){}\nfunction initialize(id,x,y){}");
    Write(SampleRecord());
    for (const char* name : {"index.html", "print.html"}) {
        std::ifstream in(testing::SourcePath("tests/web/golden/") + name, std::ios::binary);
        const auto expected = CRLFLines(std::string(std::istreambuf_iterator<char>(in), {}));
        const auto actual = CRLFLines(Folder.Read(name));
        ASSERT_FALSE(expected.empty()) << name;
        for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i)
            EXPECT_EQ(i < actual.size() ? actual[i] : "<missing>", i < expected.size() ? expected[i] : "<extra>")
                << name << " line " << i + 1;
    }
}

TEST_F(ProofPagesTest, HostileNamesAreEncodedForTheirPlace)
{
    THTMLJobRecord record = SampleRecord();
    record.JobName = "'<>&\"";
    record.Colors = {"O'Brien Red", "\\';alert(1);x=\\'"};
    const auto lines = Write(record);
    EXPECT_EQ(Line(lines, 3), "<title>Tavrin Remote Proofing By Dranwick - '&lt;&gt;&amp;&quot;</title>");
    EXPECT_EQ(Line(lines, 38), "var jobname='\\'<>&\"';");
    EXPECT_EQ(Line(lines, 37), "var colors=['O\\'Brien Red','\\\\\\';alert(1);x=\\\\\\''];");
    EXPECT_EQ(Line(lines, 147), "  <img src=\"http://proofs.test/tavrin/images/logo.jpg\">");
}

TEST_F(ProofPagesTest, ValuesTakeTheirListedForms)
{
    THTMLJobRecord record = SampleRecord();
    Folder.Write("help.txt", "<b>Zooming</b>\r\nUse the buttons");
    record.HelpText = TextFileAsHTML(Folder.Path("help.txt").string());
    record.ApprovalText = "first\r\nsecond";
    record.Colors = {};
    record.Factors = ProofFactors(6000, 4000, 288, 288);
    record.ReplyEmailName = "";
    record.CreationDate = DateTimeFromLocalTime({2008, 12, 31, 0, 0, 0, 0});
    auto lines = Write(record, "http://proofs.testtavrin/");

    EXPECT_EQ(Line(lines, 48), "var helptext='<b>Zooming<\\/b><br>Use the buttons<br>';");
    EXPECT_EQ(Line(lines, 47), "var approvaltext='first\\r\\nsecond';");
    EXPECT_EQ(Line(lines, 37), "var colors=[];");
    EXPECT_EQ(Line(lines, 35), "var factors=[0.096000000000000,0.333333333333333,0.666666666666667,"
                               "1.333333333333333,1.000000000000000];");
    EXPECT_EQ(Line(lines, 45), "var replyemailname='proofs@example.com';");
    EXPECT_EQ(Line(lines, 46), "var creationdate='12\\/31\\/08';");
    EXPECT_EQ(Line(lines, 59), "var baseurl='http://proofs.testtavrin/';");
    EXPECT_EQ(Line(lines, 63), "var baseimageurl='http://proofs.testtavrin/images/';");

    // An empty viewer script: the separator is followed at once by the zoom functions.
    EXPECT_EQ(lines.size(), 159u);
    EXPECT_EQ(Line(lines, 64), "/" + std::string(59, '*') + "/");
    EXPECT_EQ(Line(lines, 65), "function zoomFactor(factor) {");

    record.Colors = {"CYAN", "BLACK"};
    lines = Write(record);
    EXPECT_EQ(Line(lines, 37), "var colors=['CYAN','BLACK'];");
}

TEST(CreationDateText, LeavesTheTimeOutAtMidnightOnly)
{
    const std::locale c = std::locale::classic();
    EXPECT_EQ(CreationDateText(DateTimeFromLocalTime({2008, 12, 31, 0, 0, 0, 0}), c), "12/31/08");
    EXPECT_EQ(CreationDateText(DateTimeFromLocalTime({2008, 12, 31, 0, 0, 1, 0}), c), "12/31/08 00:00:01");
    EXPECT_EQ(CreationDateText(DateTimeFromLocalTime({2008, 12, 31, 23, 59, 59, 0}), c), "12/31/08 23:59:59");
    // Day 0 of the date-time scale, and a day before it.
    EXPECT_EQ(CreationDateText(0.25, c), "12/30/99 06:00:00");
    EXPECT_EQ(CreationDateText(-1.0, c), "12/29/99");
}

TEST(FactorText, FifteenRoundedDecimalsWithAFullStop)
{
    EXPECT_EQ(FactorText(576.0 / 6000), "0.096000000000000");
    EXPECT_EQ(FactorText(192.0 / 288), "0.666666666666667");
    EXPECT_EQ(FactorText(1.0), "1.000000000000000");
}

TEST_F(ProofPagesTest, FailuresRaiseAndLeaveNoPageAndNoUnfinishedFile)
{
    std::filesystem::remove(Folder.Path("tavrin.js"));
    EXPECT_THROW(Write(SampleRecord()), std::runtime_error);
    for (const char* name : {"index.html", "index.html.part", "print.html", "print.html.part"})
        EXPECT_FALSE(std::filesystem::exists(Folder.Path(name))) << name;

    Folder.Write("tavrin.js", "");
    const std::string missing = Folder.Path("no/such/index.html").string();
    try {
        WriteProofPages(missing, "t", "b/", SampleRecord(), "s/", "i/", "d/");
        ADD_FAILURE() << "wrote " << missing;
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "Cannot create " + missing + ".part: No such file or directory");
    }
}

class JobProofPagesTest : public testing::CatalogueFixture {};

TEST_F(JobProofPagesTest, TheWebTaskCallFillsTheRecordFromCatalogueSettingsAndFiles)
{
    TCLocale locale;
    Folder.Write("tavrin.js", "");
    Folder.Write("help.txt", "Help\n");
    Folder.Write("approval-text.txt", "I approve\nSigned");
    Run("insert into PlateList (PlateListJobReference, PlateListPlateColor) values (7, \"CYAN\")");
    for (const char* color : {"CYAN", "", "Pantone 'Rubine'", "cyan", "BLACK"})
        Run(std::string("insert into PlateList (PlateListJobReference, PlateListPlateColor) values (7, ") +
            QuoteText(color) + ")");
    Run("insert into PlateList (PlateListJobReference, PlateListPlateColor) values (8, \"ORANGE\")");

    TJobDetailRecord job;
    job.ID = 1;
    job.Reference = 7;
    job.Name = "Brochure";
    job.UniqueID = "20240102030405678";
    job.PageCount = 1;
    job.XResolution = 288;
    job.YResolution = 288;
    job.ImageWidth = 6000;
    job.ImageHeight = 4000;
    TSettingsRecord settings;
    settings.FromEmail = "shop@example.com";
    settings.WebRoot = "http://www.example.com";
    settings.ApprovalText = Folder.Path("approval-text.txt").string();

    std::filesystem::create_directories(OutputFolder() + job.UniqueID);
    const std::string master = OutputFolder() + job.UniqueID + "-0001.tif";
    std::ofstream(master) << "master";
    std::filesystem::last_write_time(master, std::filesystem::last_write_time(master) - std::chrono::hours(24 * 400));
    const TDateTime noMaster = DateTimeFromLocalTime({2001, 2, 3, 4, 5, 6, 0});

    const THTMLJobRecord record = BuildHTMLJobRecord(Catalogue, job, settings, noMaster);
    EXPECT_EQ(record.Colors, (std::vector<std::string>{"CYAN", "Pantone 'Rubine'", "cyan", "BLACK"}));
    EXPECT_EQ(record.ReplyEmail, "shop@example.com");
    EXPECT_EQ(record.ReplyEmailName, "shop@example.com");
    EXPECT_EQ(record.ApprovalText, "I approve<br>Signed<br>");
    EXPECT_EQ(record.HelpText, "Help<br>");
    {
        // A relative name is the file beside the program, whatever folder the station started in.
        TSettingsRecord relative = settings;
        relative.ApprovalText = "approval-text.txt";
        const auto workingFolder = std::filesystem::current_path();
        std::filesystem::current_path("/");
        const std::string approval = BuildHTMLJobRecord(Catalogue, job, relative, noMaster).ApprovalText;
        std::filesystem::current_path(workingFolder);
        EXPECT_EQ(approval, "I approve<br>Signed<br>");
    }
    EXPECT_EQ(record.Factors.size(), 5u);
    const TLocalTime written = LocalTimeFromDateTime(record.CreationDate);
    const TLocalTime expected = ToLocalTime(std::chrono::system_clock::now() - std::chrono::hours(24 * 400));
    EXPECT_EQ(std::tie(written.Year, written.Month, written.Day),
              std::tie(expected.Year, expected.Month, expected.Day));

    const std::string jobFolder = OutputFolder() + job.UniqueID + PathDelimiter;
    WriteJobProofPages(Catalogue, job, settings, jobFolder, noMaster);
    std::ifstream in(jobFolder + "index.html", std::ios::binary);
    const auto lines = CRLFLines(std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_EQ(Line(lines, 3), "<title>Tavrin Remote Proofing By Dranwick - Brochure</title>");
    EXPECT_EQ(Line(lines, 37), "var colors=['CYAN','Pantone \\'Rubine\\'','cyan','BLACK'];");
    EXPECT_EQ(Line(lines, 59), "var baseurl='http://www.example.comtavrin/';");
    EXPECT_EQ(Line(lines, 60), "var datadirectory='20240102030405678/';");
    EXPECT_TRUE(std::filesystem::exists(jobFolder + "print.html"));
    // The tiles are read from the job's folder on the web host, which carries the secret.
    job.Secret = "00112233445566778899aabbccddeeff";
    WriteJobProofPages(Catalogue, job, settings, jobFolder, noMaster);
    std::ifstream secretPage(jobFolder + "index.html", std::ios::binary);
    EXPECT_EQ(Line(CRLFLines(std::string(std::istreambuf_iterator<char>(secretPage), {})), 60),
              "var datadirectory='20240102030405678-00112233445566778899aabbccddeeff/';");

    // Without a page 1 master the page carries the caller's date.
    std::filesystem::remove(master);
    EXPECT_EQ(BuildHTMLJobRecord(Catalogue, job, settings, noMaster).CreationDate, noMaster);
    // No reply address of its own: the sender's stands in; with one, its name goes with it.
    settings.ReplyEmail = "reply@example.com";
    settings.ReplyEmailName = "Reply desk";
    const THTMLJobRecord replying = BuildHTMLJobRecord(Catalogue, job, settings, noMaster);
    EXPECT_EQ(replying.ReplyEmail, "reply@example.com");
    EXPECT_EQ(replying.ReplyEmailName, "Reply desk");
}

}  // namespace
}  // namespace tavrin

// The options of the run without a window, split and compared by the
// program's own command-line rules.
#include <gtest/gtest.h>
#include "app/CommandLine.h"
#include "batch/BatchOptions.h"
#include "batch/BatchRun.h"
#include "lang/Strings.h"
#include "resource.h"

namespace {

using nw::BatchMode;
using nw::BatchProblem;

nw::BatchOptions Parse(const wchar_t* commandLine) {
    return nw::ParseBatchOptions(nw::SplitCommandLine(commandLine), nw::IsOptionWord);
}

TEST(BatchOptions, ValidFormsAndTheWindowsOwnCommandLines) {
    auto o = Parse(L"/export csv out.csv");
    EXPECT_EQ(BatchMode::Export, o.mode);
    EXPECT_EQ(7, o.kind);
    EXPECT_EQ(L"out.csv", o.file);
    EXPECT_EQ(3, o.scans);
    EXPECT_FALSE(o.noSaveLoad);
    EXPECT_EQ(0, nw::BatchParseExitCode(o));

    // Case ignored, quotes allowed, options in any order, the limits of N.
    o = Parse(L"/NoSaveLoad /SCANS 100 \"/Export\" HtmlV \"C:\\My Files\\list.htm\"");
    EXPECT_EQ(BatchMode::Export, o.mode);
    EXPECT_EQ(5, o.kind);
    EXPECT_EQ(L"C:\\My Files\\list.htm", o.file);
    EXPECT_EQ(100, o.scans);
    EXPECT_TRUE(o.noSaveLoad);
    EXPECT_EQ(1, Parse(L"/export text a /scans 001").scans);
    const wchar_t* kinds[] = {L"text", L"tab", L"tabular", L"html", L"htmlv", L"xml", L"csv"};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(k + 1, nw::BatchKindFromWord(kinds[k], nw::IsOptionWord));

    // /? wins over everything, mistakes included.
    EXPECT_EQ(BatchMode::Help, Parse(L"/?").mode);
    EXPECT_EQ(BatchMode::Help, Parse(L"/export pdf /? /scans 0").mode);
    // Without /export or /? the window starts as it always has.
    for (const wchar_t* line : {L"", L"/nosaveload", L"/scans 5", L"/savelangfile", L"export csv x", L"/exports"}) {
        EXPECT_EQ(BatchMode::None, Parse(line).mode) << testing::PrintToString(std::wstring(line));
        EXPECT_EQ(line == std::wstring(L"/savelangfile") ? nw::StartMode::SaveLanguageFile : nw::StartMode::Window,
                  nw::ChooseStartMode(nw::SplitCommandLine(line), Parse(line), nw::IsOptionWord));
    }
    EXPECT_EQ(nw::StartMode::Batch, nw::ChooseStartMode({L"/savelangfile", L"/?"}, Parse(L"/savelangfile /?"),
                                                        nw::IsOptionWord));

    // Every help line has text (the first and last stand unindented).
    const std::wstring help = nw::BatchHelpText();
    EXPECT_EQ(0u, help.find(nw::GetString(IDS_BATCH_HELP_FIRST)));
    EXPECT_NE(std::wstring::npos, help.find(std::wstring(L"\r\n") + nw::GetString(IDS_BATCH_HELP_LAST)));
    EXPECT_EQ(std::wstring::npos, help.find(L"\r\n\r\n"));
}

TEST(BatchOptions, EveryMistakeGivesCodeTwoAndNamesTheProblem) {
    struct Case {
        const wchar_t* line;
        BatchProblem problem;
        const wchar_t* word;
    };
    const Case cases[] = {
        {L"/export", BatchProblem::MissingKind, L"/export"},
        {L"/export /scans 2", BatchProblem::MissingKind, L"/export"},
        {L"/export pdf out.pdf", BatchProblem::UnknownKind, L"pdf"},
        {L"/export \"\" out.txt", BatchProblem::UnknownKind, L""},
        {L"/export csv", BatchProblem::MissingFile, L"csv"},
        {L"/export csv \"\"", BatchProblem::MissingFile, L"csv"},
        {L"/export csv /scans 2", BatchProblem::MissingFile, L"csv"},
        {L"/export csv x /scans", BatchProblem::MissingScans, L"/scans"},
        {L"/export csv x /scans /nosaveload", BatchProblem::MissingScans, L"/scans"},
        {L"/export csv x /scans 0", BatchProblem::BadScans, L"0"},
        {L"/export csv x /scans 101", BatchProblem::BadScans, L"101"},
        {L"/export csv x /scans -1", BatchProblem::BadScans, L"-1"},
        {L"/export csv x /scans 3x", BatchProblem::BadScans, L"3x"},
        {L"/export csv x /scans 99999999999999999999", BatchProblem::BadScans, L"99999999999999999999"},
        {L"/export csv x extra", BatchProblem::UnknownOption, L"extra"},
        {L"/export csv x /savelangfile", BatchProblem::Conflict, L"/savelangfile"},
        {L"/SaveLangFile /export csv x", BatchProblem::Conflict, L"/SaveLangFile"},
        {L"/export csv x /deleteregkey", BatchProblem::Conflict, L"/deleteregkey"},
        {L"/export csv x /export tab y", BatchProblem::Repeated, L"/export"},
        {L"/export csv x /scans 2 /scans 3", BatchProblem::Repeated, L"/scans"},
        // The first mistake in word order is the one reported.
        {L"/export pdf x /scans 0", BatchProblem::UnknownKind, L"pdf"},
    };
    for (const Case& c : cases) {
        const std::wstring line(c.line);
        const auto o = Parse(c.line);
        EXPECT_EQ(BatchMode::Error, o.mode) << testing::PrintToString(line);
        EXPECT_EQ(c.problem, o.problem) << testing::PrintToString(line);
        EXPECT_EQ(c.word, o.word) << testing::PrintToString(line);
        EXPECT_EQ(2, nw::BatchParseExitCode(o)) << testing::PrintToString(line);
        EXPECT_EQ(nw::StartMode::Batch, nw::ChooseStartMode(nw::SplitCommandLine(c.line), o, nw::IsOptionWord))
            << testing::PrintToString(line);
        // The message holds the problem's own text and the word in quotes.
        const unsigned id = nw::BatchProblemStringId(o.problem);
        ASSERT_NE(0u, id);
        const std::wstring message = nw::BatchProblemMessage(o);
        EXPECT_EQ(0u, message.find(nw::GetString(id))) << testing::PrintToString(line);
        EXPECT_NE(std::wstring::npos, message.find(L"\"" + std::wstring(c.word) + L"\"")) << testing::PrintToString(line);
    }
    // Each problem has a text of its own.
    for (int a = 1; a <= 8; ++a)
        for (int b = a + 1; b <= 8; ++b)
            EXPECT_STRNE(nw::GetString(nw::BatchProblemStringId(static_cast<BatchProblem>(a))),
                         nw::GetString(nw::BatchProblemStringId(static_cast<BatchProblem>(b))));
}

}  // namespace

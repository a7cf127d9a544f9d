#include "work/protocol_document.h"

#include "tests/core/table.h"

#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace potencor::work {
namespace {

// A protocol as a file holds it (CR LF line ends) put into a document the way
// an opened file is: every line end a line break.
void load(ProtocolDocument& doc, const char* fileText)
{
    doc.replaceText(QString::fromUtf8(fileText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

struct EditRow {
    const char* name;
    const char* before;
    const char* after;
};

const EditRow kAppendRows[] = {
    {"ToEmpty", "", "L\r\n"},
    {"AfterMeasuredLines", "a\r\nb\r\n", "a\r\nb\r\nL\r\n"},
    {"AfterHandEditedLastLineWithoutBreak", "a\r\nb", "a\r\nb\r\nL\r\n"},
    {"AfterTypedEmptyLine", "a\r\n\r\n", "a\r\n\r\nL\r\n"},
    {"AfterOnlyAnEmptyLine", "\r\n", "\r\nL\r\n"},
    {"AfterEmptyLineThenText", "a\r\n\r\nb", "a\r\n\r\nb\r\nL\r\n"},
};

class AppendTable : public testing::TestWithParam<EditRow> {};

TEST_P(AppendTable, AddsLineWithItsBreak)
{
    ProtocolDocument doc;
    load(doc, GetParam().before);
    doc.appendLine(QStringLiteral("L"));
    EXPECT_EQ(doc.text().toStdString(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Protocol, AppendTable, testing::ValuesIn(kAppendRows), test::RowName());

const EditRow kRemoveRows[] = {
    {"EmptyStaysEmpty", "", ""},
    {"OnlyLine", "a\r\n", ""},
    {"LastOfTwo", "a\r\nb\r\n", "a\r\n"},
    {"HandEditedLastLineWithoutBreak", "a\r\nb", "a\r\n"},
    {"SingleLineWithoutBreak", "a", ""},
    {"TypedEmptyLine", "a\r\n\r\n", "a\r\n"},
    {"OnlyAnEmptyLine", "\r\n", ""},
    {"EmptyLineThenText", "a\r\n\r\nb", "a\r\n\r\n"},
    {"CyrillicText", "0: x=1,000см\r\n1: x=2,000см\r\n", "0: x=1,000см\r\n"},
};

class RemoveLastLineTable : public testing::TestWithParam<EditRow> {};

TEST_P(RemoveLastLineTable, RemovesLineWithItsBreak)
{
    ProtocolDocument doc;
    load(doc, GetParam().before);
    doc.removeLastLine();
    EXPECT_EQ(doc.text().toStdString(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Protocol, RemoveLastLineTable, testing::ValuesIn(kRemoveRows), test::RowName());

TEST(ProtocolDocument, UndoAfterMeasurementsRestoresTheEarlierText)
{
    ProtocolDocument doc;
    QString snapshots[4];
    const char* lines[] = {"0: x=0,000см y=1,000см phi=2,000 В", "1: x=0,500см y=1,000см phi=2,000 В",
                           "2: x=1,000см y=1,000см phi=2,000 В"};
    for (int n = 0; n < 3; ++n) {
        snapshots[n] = doc.text();
        doc.appendLine(QString::fromUtf8(lines[n]));
    }
    snapshots[3] = doc.text();
    EXPECT_EQ(doc.text(), QStringLiteral("0: x=0,000см y=1,000см phi=2,000 В\r\n"
                                         "1: x=0,500см y=1,000см phi=2,000 В\r\n"
                                         "2: x=1,000см y=1,000см phi=2,000 В\r\n"));
    for (int n = 3; n > 0; --n) {
        EXPECT_EQ(doc.text(), snapshots[n]);
        doc.removeLastLine();
    }
    EXPECT_EQ(doc.text(), QString());
    doc.removeLastLine();
    EXPECT_EQ(doc.text(), QString());
}

// What the student pasted is what is saved: a no-break space stays one, and a
// line separator (U+2028) is a character of its line, not a line end.
TEST(ProtocolDocument, TextKeepsNoBreakSpaceAndLineSeparator)
{
    ProtocolDocument doc;
    QTextCursor(doc.document()).insertText(QStringLiteral("1:\u00A0x\u2028y\n2:\u00A0z\u2029w\n"));
    EXPECT_EQ(doc.text(), QStringLiteral("1:\u00A0x\u2028y\r\n2:\u00A0z\r\nw\r\n"));
    EXPECT_EQ(doc.journalText(), u"1:\u00A0x\u2028y\n2:\u00A0z\nw\n");
}

// What the document holds of a text given by parts, as the digest and the
// journal take it before it goes in, is what Qt makes of it: every line end
// it knows (CR LF, LF, CR, U+2029, the frame marks U+FDD0 and U+FDD1) one
// block end, a CR ending one part and an LF starting the next two of them,
// nothing else changed; and the document's own parts give the same forms.
TEST(ProtocolDocument, ATextsFormsAreThoseOfWhatTheDocumentMakesOfIt)
{
    QString longText;
    for (int i = 0; i < 40000; ++i)
        longText += QStringLiteral("%1: x=1.000см y=2.000см phi=😀 В\r\n").arg(i);
    const std::vector<std::pair<const char*, QStringList>> cases = {
        {"Empty", {}},
        {"EveryLineEnd", {QStringLiteral("a\r\nb\rc\nd e\uFDD0f\uFDD1g\r\n\r\n\n\r")}},
        {"KeptCharacters", {QStringLiteral("x y z\t😀")}},
        {"CrLfAcrossParts", {QStringLiteral("a\r"), QStringLiteral("\nb\r\n"), QStringLiteral("c")}},
        {"Long", ProtocolDocument::partsOf(longText)},
    };
    for (const auto& [name, parts] : cases) {
        SCOPED_TRACE(name);
        QString file, journal;
        qsizetype lineEnds = 0, held = 0;
        for (const QString& part : parts) {
            const ProtocolDocument::Forms forms = ProtocolDocument::formsOf(part, true, true);
            file += forms.file;
            journal += forms.journal;
            lineEnds += forms.lineEnds;
            held += forms.heldChars;
        }
        ProtocolDocument doc;
        doc.replaceText(parts);
        const QString raw = doc.document()->toRawText();
        EXPECT_EQ(file, QString(raw).replace(QChar::ParagraphSeparator, QStringLiteral("\r\n")));
        EXPECT_EQ(journal, QString(raw).replace(QChar::ParagraphSeparator, QLatin1Char('\n')));
        EXPECT_EQ(held, raw.size());
        EXPECT_EQ(doc.characters(), raw.size());
        EXPECT_EQ(doc.document()->blockCount(), lineEnds + 1);
        QString given;
        doc.forEachPart([&](QString& part) { given += part; });
        EXPECT_EQ(given, raw);
        EXPECT_EQ(doc.text(), file);
        EXPECT_EQ(QString::fromStdU16String(doc.journalText()), journal);
    }
}

// The program's own edits never enter the document's undo history: Ctrl+Z in
// the box must not take back a measurement's line while its point stays.
TEST(ProtocolDocument, ProgramEditsStayOutOfTheUndoHistory)
{
    ProtocolDocument doc;
    QTextCursor(doc.document()).insertText(QStringLiteral("typed"));
    doc.appendLine(QStringLiteral("0: x"));
    doc.removeLastLine();
    doc.appendLine(QStringLiteral("1: y"));
    EXPECT_FALSE(doc.document()->isUndoAvailable());
    doc.document()->undo();
    EXPECT_EQ(doc.text(), QStringLiteral("typed\r\n1: y\r\n"));
}

// Nor does a text opened by parts, and the student's own typing after it is
// undone as before.
TEST(ProtocolDocument, AFillStaysOutOfTheUndoHistoryAndTypingIsUndoneAfter)
{
    ProtocolDocument doc;
    QTextCursor(doc.document()).insertText(QStringLiteral("old"));
    doc.replaceText(QStringList{QStringLiteral("0: a\n"), QStringLiteral("1: b\n"), QStringLiteral("2: c")});
    EXPECT_FALSE(doc.document()->isUndoAvailable());
    doc.document()->undo();
    EXPECT_EQ(doc.text(), QStringLiteral("0: a\r\n1: b\r\n2: c"));
    QTextCursor typing(doc.document());
    typing.movePosition(QTextCursor::End);
    typing.insertText(QStringLiteral("!"));
    ASSERT_TRUE(doc.document()->isUndoAvailable());
    doc.document()->undo();
    EXPECT_EQ(doc.text(), QStringLiteral("0: a\r\n1: b\r\n2: c"));
}

// Shrunk to under a quarter of its largest size, the document is rebuilt:
// the text stays, and an editor is told before and after.
TEST(ProtocolDocument, ShrinkingALongProtocolRebuildsItKeepingTheText)
{
    ProtocolDocument doc;
    QSignalSpy before(&doc, &ProtocolDocument::aboutToCompact);
    QSignalSpy after(&doc, &ProtocolDocument::compacted);
    const QString line = QStringLiteral("1234: x=21.425см y=14.978см phi=6.300 В"); // 39 characters
    // 40 characters a line with its break, and one for the document's end.
    for (int i = 0; i < 2000; ++i) // 80,001 characters
        doc.appendLine(line);
    for (int i = 0; i < 1500; ++i)
        doc.removeLastLine();
    EXPECT_EQ(before.count(), 0); // 500 lines: 20,001 characters, not under a quarter
    doc.removeLastLine();         // 499 lines: 19,961
    EXPECT_EQ(before.count(), 1);
    EXPECT_EQ(after.count(), 1);
    EXPECT_EQ(doc.text().count(QStringLiteral("\r\n")), 499);
    EXPECT_TRUE(doc.text().endsWith(line + QStringLiteral("\r\n")));
}

// Measurements undone and taken again leave their removed text in the
// document's storage; once as much was removed as is left (and that is
// large), the document is rebuilt from its text.
TEST(ProtocolDocument, RemovedTextPilingUpRebuildsTheDocument)
{
    ProtocolDocument doc;
    QSignalSpy before(&doc, &ProtocolDocument::aboutToCompact);
    QSignalSpy after(&doc, &ProtocolDocument::compacted);
    const QString line = QStringLiteral("1234: x=21.425см y=14.978см phi=6.300 В"); // 39 characters
    for (int i = 0; i < 2000; ++i) // 80,001 characters
        doc.appendLine(line);
    // Each undo removes 40 characters, leaving 79,961.
    for (int i = 0; i < 1999; ++i) {
        doc.removeLastLine();
        doc.appendLine(line);
    }
    EXPECT_EQ(before.count(), 0); // 79,960 removed
    doc.removeLastLine();         // 80,000
    EXPECT_EQ(before.count(), 1);
    EXPECT_EQ(after.count(), 1);
    EXPECT_EQ(doc.text().count(QStringLiteral("\r\n")), 1999);
    EXPECT_TRUE(doc.text().endsWith(line + QStringLiteral("\r\n")));
    doc.appendLine(line); // and the counting starts again
    for (int i = 0; i < 100; ++i) {
        doc.removeLastLine();
        doc.appendLine(line);
    }
    EXPECT_EQ(before.count(), 1);
}

} // namespace
} // namespace potencor::work

// Saving the protocol: a whole save of 100,000 lines in each encoding and of
// 1,000,000 lines, and where the time of a long ANSI save goes: the text out
// of the protocol box, the check for characters the encoding cannot hold, the
// conversion, the file. iconv's own Windows-1251 conversion, which the saves
// used before, is measured alongside.
#include "export/protocol_file.h"
#include "work/protocol_document.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <iconv.h>
#include <map>
#include <memory>

using potencor::text::Encoding;

namespace {

// Protocol lines as the program writes them, numbered from 0.
QString protocolOf(int lines)
{
    QString text;
    text.reserve(lines * 45);
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("%1: x=%2см y=%3см phi=%4 В\r\n")
                    .arg(i)
                    .arg(QString::number(1 + i % 40, 'f', 3), QString::number(2 + i % 28, 'f', 3),
                         QString::number((i % 126) / 10.0, 'f', 3));
    return text;
}

const QString& protocol(int lines)
{
    static std::map<int, QString> made;
    auto it = made.find(lines);
    if (it == made.end())
        it = made.emplace(lines, protocolOf(lines)).first;
    return it->second;
}

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

void setBytes(benchmark::State& state, const QString& text)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
    state.counters["lines"] = static_cast<double>(text.count(QLatin1Char('\n')));
}

void BM_Save(benchmark::State& state)
{
    const auto encoding = static_cast<Encoding>(state.range(1));
    const QString& text = protocol(static_cast<int>(state.range(0)));
    const QString path = folder().filePath(QStringLiteral("protocol.txt"));
    for (auto _ : state)
        potencor::exporting::saveProtocol(path, text, encoding);
    setBytes(state, text);
    state.SetLabel(QStringList{"ANSI", "ASCII", "Unicode", "BigEndianUnicode", "UTF-8", "UTF-7"}
                       .value(static_cast<int>(encoding)).toStdString());
}
BENCHMARK(BM_Save)
    ->ArgsProduct({{100'000}, {0, 1, 2, 3, 4, 5}})
    ->Args({1'000'000, 0})
    ->Args({1'000'000, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The stages of a 1,000,000-line ANSI save, one at a time.
void BM_StageBoxText(benchmark::State& state)
{
    potencor::work::ProtocolDocument box;
    box.replaceText(QString(protocol(1'000'000)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QString text;
    for (auto _ : state)
        benchmark::DoNotOptimize(text = box.text());
    setBytes(state, text);
}
BENCHMARK(BM_StageBoxText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageLostCharacters(benchmark::State& state)
{
    const QString& text = protocol(1'000'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(potencor::exporting::lostCharacters(text, Encoding::Ansi).count);
    setBytes(state, text);
}
BENCHMARK(BM_StageLostCharacters)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageEncode(benchmark::State& state)
{
    const QString& text = protocol(1'000'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(potencor::exporting::encodeProtocol(text, Encoding::Ansi));
    setBytes(state, text);
}
BENCHMARK(BM_StageEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

// The file alone: 1,000,000 lines are ASCII-sized here, so ASCII's conversion
// is next to nothing and the rest is writing, syncing and renaming.
void BM_StageEncodeAndWriteAscii(benchmark::State& state)
{
    const QString& text = protocol(1'000'000);
    const QString path = folder().filePath(QStringLiteral("protocol.txt"));
    const QString ascii = QString(text).replace(QStringLiteral("см"), QStringLiteral("cm")).replace(QChar(0x0412), QLatin1Char('V'));
    for (auto _ : state)
        potencor::exporting::saveProtocol(path, ascii, Encoding::Ascii);
    setBytes(state, ascii);
}
BENCHMARK(BM_StageEncodeAndWriteAscii)->Unit(benchmark::kMillisecond)->UseRealTime();

// The former conversion: UTF-8 then iconv to Windows-1251.
void BM_IconvWindows1251(benchmark::State& state)
{
    const QString& text = protocol(1'000'000);
    for (auto _ : state) {
        QByteArray in = text.toUtf8();
        QByteArray out(in.size(), Qt::Uninitialized);
        iconv_t cd = iconv_open("WINDOWS-1251", "UTF-8");
        char* ip = in.data();
        char* op = out.data();
        std::size_t il = static_cast<std::size_t>(in.size()), ol = static_cast<std::size_t>(out.size());
        iconv(cd, &ip, &il, &op, &ol);
        iconv_close(cd);
        benchmark::DoNotOptimize(out);
    }
    setBytes(state, text);
}
BENCHMARK(BM_IconvWindows1251)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the save button costs the window for 1,000,000 lines in ANSI: the
// text out of the box, the check, the conversion and the file.
void BM_BoxToFileAnsi(benchmark::State& state)
{
    potencor::work::ProtocolDocument box;
    box.replaceText(QString(protocol(1'000'000)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    const QString path = folder().filePath(QStringLiteral("protocol.txt"));
    QString text;
    for (auto _ : state) {
        text = box.text();
        if (potencor::exporting::lostCharacters(text, Encoding::Ansi).count != 0)
            state.SkipWithError("the protocol does not fit ANSI");
        potencor::exporting::saveProtocol(path, text, Encoding::Ansi);
    }
    setBytes(state, text);
}
BENCHMARK(BM_BoxToFileAnsi)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

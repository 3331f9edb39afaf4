// Feeds any bytes as the station's Titles.txt, the row names of the text protocol. A file the
// reader accepts must give a protocol of 42 lines whose table stays aligned, and whose bytes
// read back as the same 42 lines.

#include "FuzzInput.h"
#include "ProtocolFile.h"
#include "TestAssembly.h"

#include <cstdint>
#include <cstdlib>

using FuzzInput::check;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzInput::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = FuzzInput::write("Titles.txt", data, size);
    QString why;
    const std::optional<QStringList> titles = ProtocolFile::readTitles(path, &why);
    if (!titles) {
        check(!why.isEmpty());
        return 0;
    }
    const int W = ProtocolFile::nameWidth(*titles);
    check(titles->size() >= 36 && W >= 3 && W <= 255);

    // Values from the input too, so the marks, zeros and the widest numbers all turn up.
    TestAssembly::Header header{};
    TestAssembly::AxleRows rows{};
    size_t k = 0;
    auto next = [&]() -> uint16_t {
        const uint16_t w = static_cast<uint16_t>(data[k % size] << 8 | data[(k + 1) % size]);
        k += 2;
        return w;
    };
    for (auto& w : header)
        w = next();
    for (auto& row : rows)
        for (auto& w : row)
            w = (next() & 7) == 0 ? TestAssembly::NoValue : next();

    const QStringList out =
        ProtocolFile::lines(*titles, header, rows, QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7)));
    check(out.size() == 42);
    // The rules, the column headings and the 32 value rows are all W + 74 characters wide.
    for (int i = 2; i <= 37; ++i)
        check(out[i].size() == W + 74);
    // A total may outgrow its cell: a cell is never cut.
    for (int i = 38; i < 42; ++i)
        check(out[i].size() >= W + 74);
    check(ProtocolFile::titleLines(ProtocolFile::encode(out)).size() == 42);
    return 0;
}

// How the scheduler's answers are read: in blocks, not a socket read (and a
// wait) per tag, name and value, and whole when they span several blocks.

#include "printers/printerapi.h"
#include "printers/printertestutil.h"

#include <QStringList>
#include <atomic>
#include <dlfcn.h>
#include <map>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <gtest/gtest.h>

namespace {

// The socket reads and waits of the thread that counts; libcups reads its
// connection with recv and waits with poll. Other threads are not counted.
thread_local bool t_counting = false;
thread_local int t_reads = 0;
thread_local int t_waits = 0;

template <typename Function>
Function nextSymbol(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

class CountSocketCalls {
public:
    CountSocketCalls()
    {
        t_reads = 0;
        t_waits = 0;
        t_counting = true;
    }
    ~CountSocketCalls() { t_counting = false; }
    int reads() const { return t_reads; }
    int waits() const { return t_waits; }
};

}  // namespace

// This test program's own recv and poll come first for libcups too; they pass
// every call on to the C library's.
extern "C" ssize_t recv(int fd, void* buffer, size_t length, int flags)
{
    static const auto next = nextSymbol<ssize_t (*)(int, void*, size_t, int)>("recv");
    if (t_counting)
        ++t_reads;
    return next(fd, buffer, length, flags);
}

extern "C" int poll(struct pollfd* fds, nfds_t count, int timeout)
{
    static const auto next = nextSymbol<int (*)(struct pollfd*, nfds_t, int)>("poll");
    if (t_counting)
        ++t_waits;
    return next(fds, count, timeout);
}

namespace {

// name -> description, as `lpstat -l -p` prints them.
std::map<QString, QString> lpstatDescriptions()
{
    QByteArray output;
    EXPECT_EQ(printertest::run(QStringLiteral("lpstat"), {QStringLiteral("-l"), QStringLiteral("-p")}, &output), 0);
    std::map<QString, QString> descriptions;
    QString current;
    for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("printer ")))
            current = line.section(QLatin1Char(' '), 1, 1);
        else if (line.startsWith(QLatin1String("\tDescription: ")) && !current.isEmpty())
            descriptions[current] = line.mid(14);
    }
    return descriptions;
}

}  // namespace

TEST(AnswerReading, ListingOfEveryQueueTakesAFewReadsNotOnePerValue)
{
    std::optional<std::vector<PrinterAPI::PrinterInfoRecord>> records;
    int reads = 0;
    int waits = 0;
    {
        const CountSocketCalls count;
        records = PrinterAPI::listAllPrinters();
        reads = count.reads();
        waits = count.waits();
    }
    ASSERT_TRUE(records);
    ASSERT_GE(records->size(), 8u);
    // The answer for the bed's queues fits one block: the status line and
    // header, the body, and a few waits around them. Reading value by value
    // takes some 70 reads, and as many waits, per queue.
    EXPECT_LE(reads, 8) << "waits: " << waits;
    EXPECT_LE(waits, 8) << "reads: " << reads;
}

TEST(AnswerReading, AnswerSpanningSeveralBlocksIsReadWhole)
{
    // 48 queues with descriptions of 600 characters: about 40 KB of answer,
    // more than one 32 KB block.
    QStringList added;
    for (int i = 0; i < 48; ++i) {
        const QString name = QStringLiteral("blocks_%1").arg(i);
        const QString description = QStringLiteral("%1 ").arg(i).leftJustified(600, QLatin1Char('d'));
        ASSERT_TRUE(printertest::addQueue(name, {QStringLiteral("-D"), description})) << name.toStdString();
        added << name;
    }
    const std::optional<std::vector<PrinterAPI::PrinterInfoRecord>> records = PrinterAPI::listAllPrinters();
    const std::map<QString, QString> expected = lpstatDescriptions();
    for (const QString& name : added)
        printertest::removeQueue(name);
    ASSERT_TRUE(records);
    std::map<QString, QString> listed;
    for (const PrinterAPI::PrinterInfoRecord& record : *records)
        listed[record.printerName] = record.comment;
    EXPECT_EQ(listed, expected);
    for (const QString& name : added)
        EXPECT_EQ(listed[name].size(), 600) << name.toStdString();
}

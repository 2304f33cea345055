// The compact store and the row index under the log view, against plain
// models: every text comes back exactly as it went in, however it is kept,
// and the index answers as a list of row counts summed by hand would.
#include "bytes_text.h"
#include "line_matcher.h"
#include "log_store.h"
#include "row_index.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <cstdint>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QString charsof(const LogStore &store, std::int64_t n) {
    QString text;
    std::string bytes;
    store.bytes(n, bytes);
    LogStore::forchars(bytes.data(), bytes.size(), [&](char16_t c) { text += QChar(c); });
    return text;
}

std::size_t storedsize(const QString &text) {
    std::string bytes;
    LogStore::encode(text, bytes);
    return bytes.size();
}

} // namespace

TEST(LogStore, EveryKindOfTextComesBackAsWritten) {
    const std::vector<QString> texts{
        QString(),
        "9:05:07 Přijal data z: 10.0.0.5:5000 :",
        " 44 41 54 41 0D 0A",
        " 4F",                         // one group: kept as characters
        " 4f 4b",                      // lower case is not how the logs write bytes
        " 44 41x 54",                  // a run broken inside
        "  DATA<cr><lf> 00 FF 7F 80 ", // a run amid other text, a space after
        QString(" AB").repeated(600),  // longer than one run holds
        QString::fromUtf8("Ω ok \u2603 žluťoučký kůň"),
        QString(QChar(0x01)) + QChar(0x02) + " 0" + QChar(0x02), // the escape bytes as text
    };
    LogStore store;
    for (const QString &text : texts)
        store.add(text, 3);
    ASSERT_EQ(store.count(), std::int64_t(texts.size()));
    for (std::size_t n = 0; n < texts.size(); ++n) {
        EXPECT_EQ(store.text(std::int64_t(n)), texts[n]) << n;
        EXPECT_EQ(charsof(store, std::int64_t(n)), texts[n]) << n;
        EXPECT_EQ(store.style(std::int64_t(n)), 3);
    }
}

// The find bar looks for a literal in the stored bytes: it must find
// exactly what it finds in the decoded text, where the bytes are a
// hexadecimal run, an escaped character, a letter of either case or a
// marker cut short.
TEST(LineMatcher, FindsInTheStoredBytesWhatItFindsInTheText) {
    std::vector<std::string> lines;
    for (const QString &text :
         {QString("9:05:07 Přijal data z: 10.0.0.5:5000 :"), QString(" 44 41 54 41 0D 0A"),
          QString("  DATA<cr><lf> 00 FF 7F 80 4f 4B"),
          QString::fromUtf8("ŠKODA škoda Ťuk µs \u212A Ω ☃ ok"),
          QString(QChar(0x01)) + "ab" + QChar(0x02) + " 0D 0A" + QChar(0x7F)}) {
        lines.emplace_back();
        LogStore::encode(text, lines.back());
    }
    lines.push_back(std::string("ok \x02\x03\x0D\x0A\x01", 8)); // a run holding 01
    lines.push_back("cut \x02");                                // a marker with nothing after it
    const std::vector<QString> needles{"data",
                                       "DATA",
                                       " 0D 0A",
                                       "0d 0a",
                                       "4F 4B",
                                       "škoda",
                                       "ŠKODA",
                                       "ťuk",
                                       "µ",
                                       QString(QChar(0x03BC)), // µ folds to the Greek mu
                                       QString(QChar(0x212A)), // the Kelvin sign folds to k
                                       "k",
                                       "☃",
                                       QString("ok 0D"),
                                       QString(QChar(0x01)) + "ab",
                                       QString(" 0D"),
                                       "cut ",
                                       "A",
                                       QString(QChar(0x7F))};
    for (const bool matchcase : {true, false}) {
        for (const QString &needle : needles) {
            const LineMatcher matcher(needle, false, matchcase);
            LineMatcher::Scratch scratch(matcher);
            for (const std::string &bytes : lines) {
                const std::u16string text =
                    LogStore::decode(bytes.data(), bytes.size()).toStdU16String();
                const LineMatcher::Match expected = matcher.find(text, 0, scratch);
                const LineMatcher::Match got =
                    matcher.findstored(bytes.data(), bytes.size(), scratch);
                EXPECT_EQ(got.start, expected.start)
                    << needle.toStdString() << " in "
                    << QString::fromStdU16String(text).toStdString() << ", case " << matchcase;
                EXPECT_EQ(got.length, expected.length);
            }
        }
    }
}

TEST(LogStore, HexadecimalRunsTakeAThirdAndCzechLettersOneByte) {
    EXPECT_EQ(storedsize(QString(" 44").repeated(40)), 42u);
    EXPECT_EQ(storedsize(QString(" 44").repeated(255)), 257u);
    EXPECT_EQ(storedsize(QString(" 44").repeated(256)), 257u + 3u); // a lone group stays text
    EXPECT_EQ(storedsize(QString::fromUtf8("žluťoučký")), 9u);
    EXPECT_EQ(storedsize(QString::fromUtf8("\u2603")), 3u);

    // A record's hex line stored straight from its bytes is what its text
    // would be stored as, at every length around the runs' limit.
    std::mt19937 random(7);
    for (const std::size_t length : {0, 1, 2, 3, 254, 255, 256, 257, 510, 511, 512, 766}) {
        std::string bytes(length, '\0');
        for (char &byte : bytes)
            byte = static_cast<char>(random());
        std::string direct, fromtext;
        LogStore::encodehexline(bytes, direct);
        LogStore::encode(hexlinetext(bytes, 1), fromtext);
        EXPECT_EQ(direct, fromtext) << length << " bytes";
    }
}

// Every line's text, read on the owner's thread and as another thread
// reads it, against the model.
void expectlines(const LogStore &store, const std::vector<QString> &model) {
    ASSERT_EQ(store.count(), std::int64_t(model.size()));
    for (std::size_t n = 0; n < model.size(); ++n) {
        ASSERT_EQ(store.text(std::int64_t(n)), model[n]) << n;
        ASSERT_EQ(charsof(store, std::int64_t(n)), model[n]) << n;
    }
    std::size_t read = 0;
    std::thread([&] {
        store.readlines(
            0, store.count() + 5, [](std::int64_t) { return true; },
            [&](std::int64_t n, const char *bytes, std::size_t size) {
                EXPECT_EQ(n, std::int64_t(read));
                EXPECT_EQ(LogStore::decode(bytes, size), model[std::size_t(n)]) << n;
                ++read;
            });
    }).join();
    EXPECT_EQ(read, model.size());
}

class SpooledOrNot : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            store.spoolto(dir.path(), "RichEdit_mix");
        ASSERT_EQ(store.spooling(), GetParam());
    }
    QTemporaryDir dir;
    LogStore store;
};
INSTANTIATE_TEST_SUITE_P(LogStore, SpooledOrNot, testing::Bool());

TEST_P(SpooledOrNot, LinesAcrossChunksAndAppendedPiecesStayWhole) {
    // Enough text to fill several 1 MiB chunks, lines straddling their ends.
    std::mt19937 random(7);
    std::vector<QString> model;
    for (int n = 0; n < 10000; ++n) {
        QString text = QString::number(n) + ":";
        const int pieces = int(random() % 4);
        for (int p = 0; p < pieces; ++p)
            text += QString(" %1")
                        .arg(int(random() % 256), 2, 16, QChar('0'))
                        .toUpper()
                        .repeated(int(random() % 300));
        text += QString::fromUtf8("č\u20AC\u2603").left(int(random() % 4));
        store.add(text, 0);
        model.push_back(text);
    }
    // The last line runs on in pieces, as a data window's does.
    for (int p = 0; p < 2000; ++p) {
        const QString piece = p % 3 ? QString(" 7E").repeated(p % 50 + 1) : QString("x\u2603");
        store.append(piece);
        model.back() += piece;
    }
    EXPECT_GT(store.storedbytes(), std::uint64_t(2) << 20);
    expectlines(store, model);
}

TEST_P(SpooledOrNot, ReplacingLinesKeepsTheOthersAndAppendsStillWork) {
    for (const char *text : {"a", "b", "c", "d"})
        store.add(QString(text), 1);
    store.replace(1, 1, {"B"}, 2); // as many come as go
    store.replace(2, 3, {"C", "D", "E"}, 2);
    ASSERT_EQ(store.count(), 5);
    const std::vector<QString> expected{"a", "B", "C", "D", "E"};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(store.text(n), expected[std::size_t(n)]);
    EXPECT_EQ(store.style(0), 1);
    EXPECT_EQ(store.style(4), 2);
    store.replace(4, 4, {"last"}, 2);
    store.append(u" 01 02");
    EXPECT_EQ(store.text(4), "last 01 02");
    EXPECT_EQ(store.text(3), "D");
    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.storedbytes(), 0u);

    // Lines removed at the first of a block of 64 and at the top.
    std::vector<QString> model;
    for (int n = 0; n < 200; ++n) {
        model.push_back(QString("line %1").arg(n));
        store.add(model.back(), 0);
    }
    for (const std::int64_t first : {64, 128, 0}) {
        store.replace(first, first + 1, {}, 0);
        model.erase(model.begin() + first, model.begin() + first + 2);
    }
    expectlines(store, model);
}

// Edits as typing makes them (lines split, joined, removed, rewritten)
// amid a few hundred lines, across the 64-line blocks, then more lines.
TEST_P(SpooledOrNot, RandomEditsAmidManyLinesKeepEveryOtherLine) {
    std::mt19937 random(5);
    std::vector<QString> model;
    const auto addline = [&](const QString &text) {
        store.add(text, std::uint8_t(model.size() % 3));
        model.push_back(text);
    };
    for (int n = 0; n < 400; ++n)
        addline(QString("line %1 ").arg(n) + QString("x").repeated(int(random() % 300)));
    for (int edit = 0; edit < 200; ++edit) {
        const auto first = std::int64_t(random() % model.size());
        const auto last = std::min<std::int64_t>(first + std::int64_t(random() % 3),
                                                 std::int64_t(model.size()) - 1);
        std::vector<QString> texts(random() % 4);
        for (QString &text : texts)
            text = QString("edit %1 ").arg(edit) + QString("y").repeated(int(random() % 400));
        if (texts.empty() && std::int64_t(model.size()) == last - first + 1)
            texts.push_back("kept");
        store.replace(first, last, texts, 1);
        model.erase(model.begin() + first, model.begin() + last + 1);
        model.insert(model.begin() + first, texts.begin(), texts.end());
        if (edit % 10 == 0) {
            addline(QString("new %1").arg(edit));
            store.append(u" 0A");
            model.back() += " 0A";
        }
    }
    expectlines(store, model);
}

TEST(LogStore, ASpoolThatCannotGrowKeepsEveryLineInMemoryAndSaysSoOnce) {
    QTemporaryDir dir;
    // In a child: a file size limit stands in for a full disk.
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200000, 200000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        LogStore store;
        store.spoolto(dir.path(), "RichEdit_rx");
        std::vector<QString> model;
        int failures = 0;
        for (int n = 0; n < 20000; ++n) {
            model.push_back(QString("%1 ").arg(n) + QString(" 4F 4B").repeated(n % 20));
            store.add(model.back(), 0);
            if (n % 100 == 99) {
                store.append(u"+");
                model.back() += "+";
            }
            const QString failure = store.takefailure();
            if (!failure.isEmpty())
                failures += failure.contains("File too large") ? 1 : 100;
        }
        for (std::size_t n = 0; n < model.size(); ++n) {
            if (store.text(std::int64_t(n)) != model[n])
                ::_exit(3);
        }
        ::_exit(failures == 1 && !store.spooling() ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(RowIndex, AnswersAsRowCountsSummedByHand) {
    std::mt19937 random(11);
    std::vector<std::uint32_t> model;
    RowIndex index;
    const auto check = [&] {
        ASSERT_EQ(index.count(), std::int64_t(model.size()));
        std::int64_t sum = 0;
        for (std::size_t n = 0; n < model.size(); ++n) {
            ASSERT_EQ(index.before(std::int64_t(n)), sum) << n;
            ASSERT_EQ(index.rows(std::int64_t(n)), model[n]) << n;
            for (std::uint32_t r = 0; r < model[n]; ++r)
                ASSERT_EQ(index.find(sum + r), std::make_pair(std::int64_t(n), std::int64_t(r)));
            sum += model[n];
        }
        ASSERT_EQ(index.total(), sum);
    };
    for (int n = 0; n < 1000; ++n) {
        model.push_back(1 + random() % 4);
        index.push({model.back(), n % 2 ? 40.0 : 1000.0});
    }
    check();
    index.setlast({9, 0});
    model.back() = 9;
    index.set(17, {5, 0});
    model[17] = 5;
    check();
    // Edits that keep the count, add lines and remove them.
    for (int edit = 0; edit < 40; ++edit) {
        const auto first = std::int64_t(random() % model.size());
        const std::int64_t count =
            std::min<std::int64_t>(std::int64_t(random() % 3), std::int64_t(model.size()) - first);
        std::vector<std::uint32_t> rows(random() % 4);
        std::vector<RowIndex::Shape> shapes;
        for (auto &r : rows) {
            r = random() % 4 == 0 ? 130 + random() % 3 : 1 + random() % 3;
            shapes.push_back({r, r == 1 ? 40.0 : 2000.0});
        }
        index.splice(first, count, shapes);
        model.erase(model.begin() + first, model.begin() + first + count);
        model.insert(model.begin() + first, rows.begin(), rows.end());
        check();
    }
    // A change of width: only lines that may not fit are wrapped again.
    std::vector<std::int64_t> rewrapped;
    index.rebuild([&](std::int64_t from, std::int64_t to, auto &&reshape) {
        for (std::int64_t n = from; n < to; ++n) {
            if (!index.fits(n, 100)) {
                reshape(n, RowIndex::Shape{n % 7 == 0 ? 200u : 2u, 0});
                model[std::size_t(n)] = n % 7 == 0 ? 200u : 2u;
            }
        }
    });
    check();
    index.clear();
    EXPECT_EQ(index.total(), 0);
    EXPECT_EQ(index.count(), 0);
}

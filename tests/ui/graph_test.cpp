// The plot through the real windows and a UDP peer: the series and points
// the received texts give, the saved points, and the window in the settings.
#include "graph_window.h"
#include "udp_fixture.h"

#include "graph_rules.h"

#include "forms.h"
#include "graph_view.h"
#include "log_seam.h"
#include "states_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "wait_for.h"

namespace {

class Graph : public UdpFixture {
protected:
    static QStringList names() {
        QStringList got;
        for (const auto &each : Form_graf->series())
            got << each->name;
        return got;
    }
    static std::size_t points() {
        std::size_t count = 0;
        for (const auto &each : Form_graf->series())
            count += each->store.size();
        return count;
    }
};

TEST_F(Graph, NamedAndUnnamedNumbersBecomeSeriesAtTheirEntriesTimes) {
    Form1->Graf1->trigger();
    ASSERT_TRUE(Form_graf->isVisible());
    openudp();
    sendtoprogram("t=21.5 h: 40");
    sendtoprogram("21.5,40,1013");
    sendtoprogram("no numbers");
    ASSERT_TRUE(waitfor([] { return points() == 5; }));
    EXPECT_EQ(names(), (QStringList{"t", "h", "1", "2", "3"}));
    const auto &series = Form_graf->series();
    EXPECT_EQ(series[0]->store.at(0).value, 21.5f);
    EXPECT_EQ(series[4]->store.at(0).value, 1013.0f);
    // The points stand at their entries' times: the second block's points
    // share one time, no earlier than the first's.
    EXPECT_EQ(series[2]->store.at(0).time, series[4]->store.at(0).time);
    EXPECT_LE(series[0]->store.at(0).time, series[2]->store.at(0).time);

    // Drawn, following: the newest minute, each series' points on the chart.
    Form_graf->redraw();
    EXPECT_TRUE(Form_graf->following());
    EXPECT_EQ(series[0]->line->points().size(), 1);
    EXPECT_EQ(series[0]->line->points()[0].y(), 21.5);

    // Off, the texts give nothing more.
    Form_graf->CheckBox_graf_text->setChecked(false);
    sendtoprogram("x=1");
    waitfor([] { return false; }, 200);
    EXPECT_EQ(points(), 5u);

    // Saved as CSV in the values file's columns.
    const QString csv = dir.filePath("graf.csv");
    fakeDialogs().files.push_back(csv);
    Form_graf->Button_graf_save->click();
    QFile saved(csv);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], "time,series,value");
    EXPECT_TRUE(lines[1].endsWith(",t,21.5")) << lines[1].toStdString();
    EXPECT_TRUE(lines[5].endsWith(",3,1013")) << lines[5].toStdString();
    EXPECT_EQ(lines[1].indexOf('T'), 10) << "an ISO 8601 time";

    Form_graf->Button_graf_clear->click();
    EXPECT_TRUE(Form_graf->series().empty());
}

TEST_F(Graph, AZoomStopsFollowingUntilSledovat) {
    Form1->Graf1->trigger();
    openudp();
    sendtoprogram("1");
    ASSERT_TRUE(waitfor([] { return points() == 1; }));
    Form_graf->redraw();
    emit Form_graf->Chart_graf->userranged();
    EXPECT_FALSE(Form_graf->following());
    Form_graf->Button_graf_follow->click();
    EXPECT_TRUE(Form_graf->following());
}

TEST_F(Graph, ItsPlaceAndVisibilityAreKeptOnceShown) {
    // Never shown: the file gets no section.
    ASSERT_TRUE(Form1->close());
    QFile first(Form1->settingsfile);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_FALSE(first.readAll().contains("[Form_graf]"));
    first.close();

    destroyforms();
    createforms();
    Form1->settingsfile = dir.filePath("default.ini");
    start();
    EXPECT_FALSE(Form_graf->isVisible()) << "a file without the section";
    Form1->Graf1->trigger();
    Form_graf->move(40, 50);
    ASSERT_TRUE(Form1->close());
    QFile second(Form1->settingsfile);
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_TRUE(second.readAll().contains("[Form_graf]\r\nLeft=40\r\ntop=50\r\n"));
    second.close();

    destroyforms();
    createforms();
    Form1->settingsfile = dir.filePath("default.ini");
    start();
    EXPECT_TRUE(Form_graf->isVisible());
    EXPECT_EQ(Form_graf->pos(), QPoint(40, 50));
    Form1->Okna->trigger();
    EXPECT_EQ(Form_graf->pos(), QPoint(0, 0)) << "Okna sem! brings it too";
}

TEST_F(Graph, ARuleReadsItsGroupWithItsScaleAndAMalformedRuleIsNamedOnce) {
    {
        QFile ini(Form1->settingsfile);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Form_RX_TX]\r\nshow_stavy=1\r\n[Form_graf]\r\ncount=2\r\n"
                  "active1=1\r\nname1=p\r\nexpression1=\\x02(..)\r\ngroup1=1\r\n"
                  "read1=int16be\r\nscale1=0.5\r\noffset1=-1\r\n"
                  "active2=1\r\nname2=bad\r\nexpression2=(\r\n");
    }
    destroyforms();
    createforms();
    Form1->settingsfile = dir.filePath("default.ini");
    start();
    const QStringList states = seam::texts(Form_RX_TX->RichEdit_mix);
    ASSERT_EQ(states.filter("Pravidlo 2 (bad)").size(), 1) << states.join("|").toStdString();
    QTableWidget *grid = Form_graf->Rules_graf->Grid_graf_rules;
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_FALSE(grid->item(1, GraphRules::Expression)->toolTip().isEmpty()) << "its row says why";
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->ComboBox_pripojeniChange();
    Form1->Edit_rx_port->setText("0");
    openudp();
    Form_graf->CheckBox_graf_text->setChecked(false);
    sendtoprogram(QByteArray("\x02\x01\x02", 3));
    sendtoprogram(QByteArray("\x02\xff\xfe", 3));
    ASSERT_TRUE(waitfor([] { return points() == 2; }));
    EXPECT_EQ(names(), QStringList{"p"});
    EXPECT_EQ(Form_graf->series()[0]->store.at(0).value, 258 * 0.5f - 1);
    EXPECT_EQ(Form_graf->series()[0]->store.at(1).value, -2 * 0.5f - 1) << "signed";

    // The rules go back to the file as they came.
    ASSERT_TRUE(Form1->close());
    QFile saved(Form1->settingsfile);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.contains("count=2\r\nactive1=1\r\nname1=p\r\nexpression1=\\x02(..)\r\n"
                              "group1=1\r\nread1=int16be\r\nscale1=0.5\r\noffset1=-1\r\n"))
        << text.toStdString();
}

TEST_F(Graph, RulesEditedInTheTableAreUsedAtOnceAndKept) {
    Form1->Graf1->trigger();
    Form_graf->CheckBox_graf_text->setChecked(false);
    QTableWidget *grid = Form_graf->Rules_graf->Grid_graf_rules;
    Form_graf->Button_graf_new->click();
    Form_graf->Button_graf_new->click();
    ASSERT_EQ(grid->rowCount(), 2);
    grid->item(0, GraphRules::Name)->setText("u");
    grid->item(0, GraphRules::Expression)->setText("U(.)");
    qobject_cast<QSpinBox *>(grid->cellWidget(0, GraphRules::Group))->setValue(1);
    qobject_cast<QComboBox *>(grid->cellWidget(0, GraphRules::Read))->setCurrentText("uint8");
    grid->item(0, GraphRules::Scale)->setText("2");
    grid->item(1, GraphRules::Name)->setText("x");
    grid->item(1, GraphRules::Expression)->setText("(");
    EXPECT_FALSE(grid->item(1, GraphRules::Expression)->toolTip().isEmpty());
    grid->setCurrentCell(1, GraphRules::Name);
    Form_graf->Button_graf_delete->click();
    ASSERT_EQ(grid->rowCount(), 1);

    openudp();
    sendtoprogram("U\x05");
    ASSERT_TRUE(waitfor([] { return points() == 1; }));
    EXPECT_EQ(names(), QStringList{"u"});
    EXPECT_EQ(Form_graf->series()[0]->store.at(0).value, 10.0f);

    ASSERT_TRUE(Form1->close());
    QFile saved(Form1->settingsfile);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("count=1\r\nactive1=1\r\nname1=u\r\nexpression1=U(.)\r\n"
                                         "group1=1\r\nread1=uint8\r\nscale1=2\r\noffset1=0\r\n"));
}

} // namespace

#include "http/NetworkQueue.h"
#include "platform/DeviceIdentifier.h"
#include "platform/LocationManager.h"
#include "prefs/Deployment.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/SettingsViewController.h"
#include "sharing/ShareText.h"
#include "support/Alerts.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/MiniSeedArchive.h"
#include "support/NmeaLog.h"
#include "support/Printers.h"
#include "support/RecordingHost.h"
#include "support/RecordingUrlOpener.h"
#include "support/ScriptedHttpServer.h"
#include "support/SilentPositionSource.h"
#include "support/TempConfig.h"
#include "ui/ActivityIndicator.h"
#include "ui/GraphView.h"
#include "ui/PanelSlide.h"
#include "ui/Switch.h"
#include "ui/ViewAnimation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace SettingsKeys;

class Sharing : public ::testing::Test {
protected:
    Sharing() {
        DeviceIdentifier::setOverride("device42");
        UserPref::setInt(SCAN_RATE, 100);
        UserPref::setBoolean(LOCATION_SEND, false);
        UserPref::setString(IP, "127.0.0.1");
        UserPref::setInt(PORT, 10552);
        graph.setFilteringEnabled(false);
        graph.setUpdatingIsEnabled(true);
    }
    ~Sharing() override {
        dismissAlerts();
        DeviceIdentifier::setOverride({});
    }
    SettingsViewController &controller() {
        if (!mController) {
            mController = std::make_unique<SettingsViewController>(host);
            mController->setGraphView(&graph);
        }
        return *mController;
    }
    void record(float x, float y, float z) { graph.updateHistoryWithX(x, y, z); }

    TempConfig config;
    RecordingHost host;
    RecordingUrlOpener opener;
    GraphView graph;
    LogCapture log;

private:
    std::unique_ptr<SettingsViewController> mController;
};

// E-mail ------------------------------------------------------------------------------------

TEST_F(Sharing, TheExportRunsOnALaterTurnAndHandsAMailUrlToTheDesktop) {
    record(0.5f, -1.25f, 0.0f);
    controller().tfEmail->setText("me@example.com");
    controller().emailCSVClicked();
    EXPECT_TRUE(controller().aiLocation->isAnimating());
    EXPECT_TRUE(opener.opened.isEmpty());  // not yet: the spinner shows first
    pumpUntil([&] { return !opener.opened.isEmpty(); });
    ASSERT_EQ(opener.opened.size(), 1);
    const QString url = QString::fromUtf8(opener.opened[0].toEncoded());
    EXPECT_TRUE(
        url.startsWith("mailto:me@example.com?subject=Shakelog%20Data&body="
                       "0.500000,-1.250000,0.000000,"))
        << url.toStdString();
    EXPECT_TRUE(url.endsWith("%0A"));
    EXPECT_FALSE(controller().aiLocation->isAnimating());  // nothing is under way any more
}

TEST_F(Sharing, AnEmptyRecipientIsAskedForAndNothingOpens) {
    controller().tfEmail->setText("");
    controller().emailCSV();
    controller().emailClicked();
    EXPECT_EQ(alertTexts(), QStringList({"Data Transfer / Please enter your email address",
                                         "Data Transfer / Please enter your email address"}));
    EXPECT_TRUE(opener.opened.isEmpty());
    // The recommendation needs no recipient.
    controller().emailURL();
    ASSERT_EQ(opener.opened.size(), 1);
    const QString site = Deployment::kWebsiteURL;
    EXPECT_EQ(opener.opened[0].toEncoded(),
              ("mailto:?subject=Shakelog%20URL%20-%20" + site + "&body=%3Ca%20href=%22" + site +
               "%22%3E" + site + "%3C/a%3E")
                  .toUtf8());
}

TEST_F(Sharing, TheServerLinkCarriesTheDeviceIdentifier) {
    controller().tfEmail->setText("me@example.com");
    controller().tfBaseUrl->setText("http://127.0.0.1/report");
    controller().emailClicked();
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0].toEncoded(),
              "mailto:me@example.com?subject=Shakelog%20URL"
              "&body=http://127.0.0.1/report?device_id=device42");
    // A recipient that may not stand in a URL gives no URL: nothing opens, nothing is said.
    controller().tfEmail->setText("me and you@example.com");
    controller().emailClicked();
    EXPECT_EQ(opener.opened.size(), 1);
    EXPECT_TRUE(visibleAlerts().isEmpty());
}

// Live stream -------------------------------------------------------------------------------

TEST_F(Sharing, TurningTheStreamOnNeedsConfirmation) {
    controller().mSwitchTransmit->click();
    ASSERT_EQ(visibleAlerts().size(), 1);
    AlertView *question = visibleAlerts()[0];
    EXPECT_EQ(question->tag(), 1000);
    EXPECT_EQ(question->title(), "Wifi Transfer");
    EXPECT_EQ(question->buttonTitleAtIndex(0), "Cancel");
    EXPECT_EQ(question->buttonTitleAtIndex(1), "Continue");
    EXPECT_TRUE(controller().mSwitchTransmit->isOn());  // while the question is open
    EXPECT_FALSE(UserPref::getBoolean(NETWORK));
    question->dismissWithClickedButtonIndex(0);
    EXPECT_FALSE(controller().mSwitchTransmit->isOn());
    EXPECT_FALSE(UserPref::getBoolean(NETWORK));
    EXPECT_EQ(host.calls, QStringList({"bindSocketMode"}));

    host.calls.clear();
    controller().mSwitchTransmit->click();
    visibleAlerts()[0]->dismissWithClickedButtonIndex(1);
    EXPECT_TRUE(controller().mSwitchTransmit->isOn());
    EXPECT_TRUE(UserPref::getBoolean(NETWORK));
    EXPECT_EQ(host.calls, QStringList({"bindSocketMode"}));

    host.calls.clear();
    controller().mSwitchTransmit->click();  // off needs no question
    EXPECT_TRUE(visibleAlerts().isEmpty());
    EXPECT_FALSE(UserPref::getBoolean(NETWORK));
    EXPECT_EQ(host.calls, QStringList({"bindSocketMode"}));
}

TEST_F(Sharing, BroadcastGreysTheHostAndPort) {
    controller().mSwitchBroadcast->click();
    EXPECT_TRUE(UserPref::getBoolean(BROADCAST));
    EXPECT_FALSE(controller().mIP->isEnabled());
    EXPECT_FALSE(controller().mPort->isEnabled());
    EXPECT_TRUE(controller().mPort->styleSheet().contains("gray"));
    EXPECT_EQ(host.calls, QStringList({"bindSocketMode"}));
    controller().mSwitchBroadcast->click();
    EXPECT_TRUE(controller().mIP->isEnabled());
    EXPECT_TRUE(controller().mIP->styleSheet().contains("black"));
}

TEST_F(Sharing, FieldsShowFallbacksWithoutStoringThem) {
    UserPref::setString(IP, "");
    UserPref::setString(URL, "");
    EXPECT_EQ(controller().mIP->text(), "10.0.2.1");
    EXPECT_EQ(controller().tfBaseUrl->text(), Deployment::kReportURL);
    EXPECT_EQ(controller().mPort->text(), "10552");
    EXPECT_EQ(UserPref::getString(IP), "");
    controller().saveFields();
    EXPECT_EQ(UserPref::getString(IP), "10.0.2.1");
    EXPECT_EQ(UserPref::getString(URL), Deployment::kReportURL);
}

TEST_F(Sharing, APortIsTheNumberTypedOrIsRefused) {
    controller().mPort->setText("8080abc");
    controller().portChanged();
    EXPECT_EQ(UserPref::getInt(PORT), 8080);
    EXPECT_EQ(host.calls, QStringList({"bindSocketMode"}));
    for (const char *bad : {"abc", "0", "70000", "-5"}) {
        host.calls.clear();
        controller().mPort->setText(bad);
        controller().portChanged();
        EXPECT_EQ(UserPref::getInt(PORT), 8080) << bad;
        EXPECT_EQ(controller().mPort->text(), "8080") << bad;
        EXPECT_TRUE(host.calls.isEmpty()) << bad;
        ASSERT_EQ(visibleAlerts().size(), 1) << bad;
        EXPECT_TRUE(visibleAlerts()[0]->message().contains("1 to 65535"));
        dismissAlerts();
    }
}

TEST_F(Sharing, ABadPortIsSaidAlsoWhenReturnIsPressed) {
    controller().mPort->setText("abc");
    QKeyEvent returnKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(controller().mPort, &returnKey);
    EXPECT_EQ(visibleAlerts().size(), 1);
    EXPECT_EQ(UserPref::getInt(PORT), 10552);
    EXPECT_EQ(controller().mPort->text(), "10552");
}

TEST_F(Sharing, TheTableHasFourSectionsOfOneRow) {
    TableView *table = controller().mTableView;
    EXPECT_EQ(controller().numberOfSectionsInTableView(table), 4);
    const QStringList titles = {"Upload via Internet", "Send via Email", "Send via Wi-Fi", "More",
                                "More"};
    QWidget *cells[] = {controller().mCellUpload, controller().mCellEmail,
                        controller().mCellTransmit, controller().mCellDescription, nullptr};
    const int heights[] = {156, 124, 200, 372, 120};  // the cells' in the layout; 120 beyond
    for (int section = 0; section < 5; ++section) {
        EXPECT_EQ(controller().numberOfRowsInSection(table, section), 1);
        EXPECT_EQ(controller().titleForHeaderInSection(table, section), titles[section]);
        EXPECT_EQ(controller().cellForRowAtIndexPath(table, {section, 0}), cells[section]);
        EXPECT_EQ(controller().heightForRowAtIndexPath(table, {section, 0}), heights[section]);
    }
    EXPECT_EQ(controller().cellForRowAtIndexPath(table, {3, 1}), nullptr);
}

TEST_F(Sharing, RestoreLeavesTheWifiSettingsAlone) {
    UserPref::setString(MY_DEVICE_ID, "roof");
    controller().tfBaseUrl->setText("http://elsewhere/");
    controller().tfEmail->setText("me@example.com");
    controller().resetClicked();
    EXPECT_EQ(alertTexts(), QStringList({"Message / Defaut settings have been restored."}));
    EXPECT_EQ(UserPref::getString(URL), Deployment::kReportURL);
    EXPECT_EQ(UserPref::getString(EMAIL), "");
    EXPECT_EQ(UserPref::getString(IP), "127.0.0.1");
    EXPECT_EQ(UserPref::getInt(PORT), 10552);
    EXPECT_EQ(UserPref::getString(MY_DEVICE_ID), "roof");
    EXPECT_TRUE(host.calls.isEmpty());
}

TEST_F(Sharing, EditingScrollsOnlyForTaggedFields) {
    QWidget *view = controller().view();
    view->show();
    QScrollBar *bar = controller().mTableView->verticalScrollBar();
    controller().mMyDeviceID->setProperty("tag", 150);
    controller().editingBegin(controller().mMyDeviceID);
    pumpUntil([] { return false; }, 400);
    EXPECT_EQ(bar->value(), 0);
    controller().editingBegin(controller().mPort);  // tag 301: (0, 600, 320, 200)
    pumpUntil([&] { return bar->value() > 0; });
    EXPECT_GT(bar->value(), 0);
    EXPECT_TRUE(log.lines().join("\n").contains("y pos = "));
    view->hide();
}

TEST_F(Sharing, DoneStoresTheFieldsResumesAndSlidesAway) {
    controller().mMyDeviceID->setText("cellar");
    controller().doneClicked();
    EXPECT_EQ(UserPref::getString(MY_DEVICE_ID), "cellar");
    EXPECT_EQ(host.calls, QStringList({"restoreRunningState"}));
    EXPECT_TRUE(ViewAnimation::animationForKey(controller().view(), PanelSlide::kKey));
}

TEST_F(Sharing, SaveCsvWritesTheExportWhereThePersonChose) {
    record(0.5f, -1.25f, 0.0f);
    record(1.0f, 2.0f, 3.0f);
    QTemporaryDir dir;
    QString answer;  // empty: the dialog was cancelled
    QList<QWidget *> askedOver;
    controller().setSavePathChooser([&](QWidget *parent, const QString &) {
        askedOver << parent;
        return answer;
    });
    auto *button = controller().view()->findChild<QPushButton *>("saveCSVButton");
    ASSERT_TRUE(button);

    button->click();
    EXPECT_EQ(askedOver, QList<QWidget *>{controller().view()});
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    EXPECT_TRUE(visibleAlerts().isEmpty());

    answer = dir.filePath("quake.csv");
    button->click();
    QFile file(answer);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), ShareText::csvLines(graph.history()).toUtf8());
    EXPECT_TRUE(visibleAlerts().isEmpty());

    answer = dir.filePath("missing/quake.csv");
    button->click();
    ASSERT_EQ(visibleAlerts().size(), 1);
    EXPECT_TRUE(alertTexts()[0].startsWith("Save CSV / Could not write " + answer + ": "))
        << alertTexts()[0].toStdString();
}

TEST_F(Sharing, SaveMiniSeedWritesTheHistoryAsThreeChannelsOfTheStation) {
    UserPref::setString(STATION_NETWORK, "GE");
    UserPref::setString(STATION_CODE, "BOARD");
    UserPref::setString(STATION_LOCATION, "--");
    graph.setMFrequency(50);
    graph.setFilteringEnabled(false);
    record(0.5f, -1.25f, 0.0f);
    record(1.0f, 2.0f, -1.0f);
    QTemporaryDir dir;
    QStringList formats;
    controller().setSavePathChooser([&](QWidget *, const QString &format) {
        formats << format;
        return dir.filePath("quake.mseed");
    });
    controller().view()->findChild<QPushButton *>("saveMiniSeedButton")->click();
    EXPECT_EQ(formats, QStringList{"miniSEED"});
    const MiniSeedArchive file(dir.filePath("quake.mseed"));
    EXPECT_TRUE(file.problem.isEmpty()) << file.problem.toStdString();
    EXPECT_EQ(file.rate, 50);
    EXPECT_EQ(file.runs.at("GE.BOARD..BN1")[0].samples, (std::vector<int32_t>{-500000, -1000000}));
    EXPECT_EQ(file.runs.at("GE.BOARD..BN2")[0].samples, (std::vector<int32_t>{1250000, -2000000}));
    EXPECT_EQ(file.runs.at("GE.BOARD..BNZ")[0].samples, (std::vector<int32_t>{0, 1000000}));
    EXPECT_TRUE(visibleAlerts().isEmpty());
}

// Report upload -----------------------------------------------------------------------------

class Upload : public Sharing {
protected:
    // Uploads with the given answers and waits until nothing is under way.
    void upload() {
        controller().updateClicked();
        pumpUntil([&] { return !controller().aiLocation->isAnimating(); });
    }
    void useServer(const ScriptedHttpServer &server) {
        controller().tfBaseUrl->setText(QString::fromUtf8(server.url("/report")));
    }
};

TEST_F(Upload, TheReportIsTheQueryAndTheSignalField) {
    ScriptedHttpServer server(
        {ScriptedHttpServer::write(ScriptedHttpServer::response(200, "thanks"))});
    record(0.5f, -1.25f, 0.0f);
    record(0.0f, 0.0f, 0.0f);
    record(1.0f, 2.0f, 3.0f);
    useServer(server);
    controller().mReportEarthQuake->setOn(true);
    const QDate before = QDate::currentDate();
    upload();
    const QDate after = QDate::currentDate();  // the next day, if midnight came meanwhile
    const QByteArray request = server.request();
    const QByteArray requestLine = request.left(request.indexOf("\r\n"));
    const QByteArray prefix =
        "POST /report?device_id=device42&lat=0.000000&lon=0.000000&alt=0.000000&sampling=100"
        "&version=1.0.0&local_datetime=";
    ASSERT_TRUE(requestLine.startsWith(prefix)) << requestLine.constData();
    const QByteArray date = requestLine.mid(prefix.size(), 10);
    EXPECT_TRUE(date == before.toString("yyyy-MM-dd").toUtf8() ||
                date == after.toString("yyyy-MM-dd").toUtf8())
        << requestLine.constData();
    EXPECT_EQ(requestLine.mid(prefix.size() + 10, 3), "%20");
    EXPECT_TRUE(requestLine.endsWith("&isearthquake=Y&action=add HTTP/1.1"));
    EXPECT_TRUE(
        request.endsWith("\r\n\r\n--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; "
                         "name=\"signal\"\r\n\r\n0.500000,-1.250000,0.000000\n"
                         "1.000000,2.000000,3.000000\n\r\n--0xKhTmLbOuNdArY--\r\n"));
    EXPECT_EQ(alertTexts(), QStringList({"Data Transfer / Data has been successfully posted"}));
    EXPECT_FALSE(controller().mReportEarthQuake->isOn());
    EXPECT_TRUE(log.lines().join("\n").contains("local_datetime=" + date + "%%20"));
    EXPECT_TRUE(log.lines().join("\n").contains("thanks"));
    EXPECT_TRUE(controller().requestUrl().contains("local_datetime=" + date + "%20"));
}

TEST_F(Upload, AnAnswerOtherThanSuccessIsNoSuccess) {
    ScriptedHttpServer server({ScriptedHttpServer::write(ScriptedHttpServer::response(404, "no"))});
    useServer(server);
    controller().mReportEarthQuake->setOn(true);
    upload();
    ASSERT_EQ(visibleAlerts().size(), 1);
    EXPECT_EQ(visibleAlerts()[0]->title(), "Data Transfer");
    EXPECT_TRUE(visibleAlerts()[0]->message().contains("404"));
    EXPECT_TRUE(controller().mReportEarthQuake->isOn());
}

TEST_F(Upload, AFailedRequestSaysWhy) {
    ScriptedHttpServer server({ScriptedHttpServer::reset()});
    useServer(server);
    controller().mReportEarthQuake->setOn(true);
    upload();
    ASSERT_EQ(visibleAlerts().size(), 1);
    EXPECT_EQ(visibleAlerts()[0]->title(), "Data Transfer");
    EXPECT_EQ(visibleAlerts()[0]->message(), "A connection failure occurred");
    EXPECT_TRUE(controller().mReportEarthQuake->isOn());
    EXPECT_FALSE(controller().aiLocation->isAnimating());
}

TEST_F(Upload, WithLocationTheFixTravelsAndAnEmptyAddressIsSaidAfterIt) {
    LocationManager::setSourceFactory(nmeaFactory(nmeaLog({0})));
    controller().mSendLocation->click();
    EXPECT_TRUE(UserPref::getBoolean(LOCATION_SEND));
    controller().tfBaseUrl->setText("");
    controller().updateClicked();
    EXPECT_TRUE(visibleAlerts().isEmpty());  // the fix comes first
    pumpUntil([&] { return !visibleAlerts().isEmpty(); });
    EXPECT_EQ(alertTexts(), QStringList({"Data Transfer / Please enter the URL"}));
    EXPECT_TRUE(controller().requestUrl().startsWith(
        QString::asprintf("?device_id=device42&lat=%f&lon=%f&alt=%f&", double(float(kLatitude)),
                          double(float(kLongitude)), double(float(kAltitude)))))
        << controller().requestUrl().toStdString();
    EXPECT_FALSE(controller().aiLocation->isAnimating());
    EXPECT_EQ(controller().networkQueue()->requestsCount(), 0);
}

TEST_F(Upload, ALocationFailureIsSaidAndNothingIsSent) {
    LocationManager::setSourceFactory(
        [](QObject *parent) { return new SilentPositionSource(parent); });
    controller().mSendLocation->click();
    ScriptedHttpServer server({ScriptedHttpServer::write(ScriptedHttpServer::response(200))});
    useServer(server);
    upload();
    EXPECT_EQ(alertTexts(), QStringList({"Data Transfer / ERROR: Location request failed"}));
    EXPECT_FALSE(controller().locationManager()->isUpdating());
    EXPECT_TRUE(server.requests().isEmpty());
}

// A second upload asked for while the first runs: the first one's answer comes before the
// second has gone out, yet the spinner turns while the second is under way.
TEST_F(Upload, TheSpinnerStaysForAnUploadAskedForWhileAnotherRan) {
    using Server = ScriptedHttpServer;
    Server first({Server::pause(200), Server::write(Server::response(200, "one"))});
    Server second({Server::pause(3000), Server::write(Server::response(200, "two"))});
    useServer(first);
    controller().updateClicked();
    pumpUntil([&] { return controller().networkQueue()->operationCount() == 1; });
    // The first exchange ends on its worker; its answer waits for this thread, ahead of the
    // second upload, which is asked for now.
    QElapsedTimer timer;
    timer.start();
    while (controller().networkQueue()->operationCount() > 0 && timer.elapsed() < 10000) {
        QThread::msleep(5);
    }
    useServer(second);
    controller().updateClicked();
    pumpUntil([&] { return !second.requests().isEmpty(); });
    EXPECT_EQ(alertTexts(), QStringList({"Data Transfer / Data has been successfully posted"}));
    EXPECT_TRUE(controller().aiLocation->isAnimating());
    EXPECT_FALSE(controller().aiLocation->isHidden());
    pumpUntil([&] { return !controller().aiLocation->isAnimating(); });
    EXPECT_EQ(visibleAlerts().size(), 2);
    EXPECT_TRUE(controller().aiLocation->isHidden());
}

}  // namespace

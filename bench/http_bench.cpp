// The report-sized upload (a FormDataRequest with a 2048-line "signal" field, about 60 KB) to
// nginx on loopback, round trip per request, beside the curl command line posting the same
// multipart body to the same server; and the peak memory of a 200 MB download to a file.
#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "support/NginxServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>

#include <cstdio>

namespace {

NginxServer *server = nullptr;

QString signalText() {
    QString text;
    for (int i = 0; i < 2048; ++i) {
        text +=
            QString::asprintf("%f,%f,%f\n", 0.001 * (i % 97), -0.002 * (i % 53), 0.0005 * (i % 31));
    }
    return text;
}

void BM_reportUpload(benchmark::State &state) {
    const QString signal = signalText();
    for (auto _ : state) {
        FormDataRequest request(server->url("/upload"));
        request.setPostValue(signal, QStringLiteral("signal"));
        request.main();
        if (request.error() || request.responseStatusCode() != 200) {
            state.SkipWithError("upload failed");
            break;
        }
    }
}
BENCHMARK(BM_reportUpload)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The report body in a file, and the curl options that post it as multipart/form-data.
QStringList curlUploadArguments(const QString &fileName) {
    FormDataRequest body(server->url("/upload"));
    body.setPostValue(signalText(), QStringLiteral("signal"));
    body.buildPostBody();
    const QString bodyFile = server->scratchPath(fileName);
    QFile file(bodyFile);
    file.open(QIODevice::WriteOnly);
    file.write(*body.postBody());
    file.close();
    return {"-s",
            "--noproxy",
            "*",
            "-H",
            "Content-Type: multipart/form-data; boundary=0xKhTmLbOuNdArY",
            "-H",
            "Expect:",
            "--data-binary",
            "@" + bodyFile};
}

void BM_reference_curlCommandLine(benchmark::State &state) {
    const QStringList arguments = curlUploadArguments("body.bin") +
                                  QStringList{"-o", "/dev/null", server->url("/upload").toString()};
    for (auto _ : state) {
        QProcess curl;
        curl.start("curl", arguments);
        if (!curl.waitForFinished(10000) || curl.exitCode() != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
}
BENCHMARK(BM_reference_curlCommandLine)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Counts the queue's reports.
class QueueWatcher : public QObject {
    Q_OBJECT
public:
    int finished = 0;
    int failed = 0;
    bool done = false;
public slots:
    void requestDone(HttpRequest *) { ++finished; }
    void requestFailed(HttpRequest *) { ++failed; }
    void queueDone(NetworkQueue *) { done = true; }
};

constexpr int kQueued = 100;

void BM_queued100Uploads(benchmark::State &state) {
    const QString signal = signalText();
    for (auto _ : state) {
        QueueWatcher watcher;
        NetworkQueue queue;
        queue.setDelegate(&watcher);
        queue.setRequestDidFinishSelector("requestDone");
        queue.setRequestDidFailSelector("requestFailed");
        queue.setQueueDidFinishSelector("queueDone");
        for (int i = 0; i < kQueued; ++i) {
            auto request = std::make_shared<FormDataRequest>(server->url("/upload"));
            request->setPostValue(signal, QStringLiteral("signal"));
            queue.addOperation(request);
        }
        queue.go();
        // Asleep until the next outcome arrives, as an application's event loop is. (With a
        // time limit processEvents ignores WaitForMoreEvents and spins, taking a core from the
        // transfers it waits for.)
        while (!watcher.done && watcher.failed == 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (watcher.failed > 0 || watcher.finished != kQueued) {
            state.SkipWithError("an upload failed");
            break;
        }
    }
}
BENCHMARK(BM_queued100Uploads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_reference_curlParallel100Uploads(benchmark::State &state) {
    QStringList arguments =
        curlUploadArguments("body100.bin") + QStringList{"--parallel", "--parallel-max", "4"};
    for (int i = 0; i < kQueued; ++i) {
        arguments << server->url("/upload").toString();
    }
    for (auto _ : state) {
        QProcess curl;
        curl.setStandardOutputFile(QProcess::nullDevice());
        curl.start("curl", arguments);
        if (!curl.waitForFinished(60000) || curl.exitCode() != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
}
BENCHMARK(BM_reference_curlParallel100Uploads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_download200MBToFile(benchmark::State &state) {
    for (auto _ : state) {
        HttpRequest request(server->url("/big.bin"));
        request.setDownloadDestinationPath(server->scratchPath("copy.bin"));
        request.main();
        if (request.error() || request.totalBytesRead() != 200u * 1024 * 1024) {
            state.SkipWithError("download failed");
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_download200MBToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    NginxServer nginx;
    QFile big(nginx.wwwPath("big.bin"));
    big.open(QIODevice::WriteOnly);
    const QByteArray megabyte(1024 * 1024, 'b');
    for (int i = 0; i < 200; ++i) {
        big.write(megabyte);
    }
    big.close();
    QString error;
    if (!NginxServer::available() || !nginx.start(&error)) {
        std::fprintf(stderr, "bench_http: nginx did not start: %s\n", qPrintable(error));
        return 1;
    }
    server = &nginx;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "http_bench.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The soak run (not part of the test suite; scripts/soak.sh builds it with the sanitizers and
// starts the simulator): clients on their own threads, each with its own transport through
// the TCP interface library to one ktx-sim server, read waveforms and fetch hard copies while
// the user-interface thread opens and closes waveform views on what they read. Every failure
// is counted; the resident memory of this process and of the simulator is printed as the run
// goes, so a leak shows as a rising column even before the leak checker reports at the end.
//
//   kurvitex_soak --port P --sim-pid PID --folder DIR [--transfers N] [--hardcopies N]
//                 [--views N] [--clients N]
#include <QApplication>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/device_file.h"
#include "config/notifier.h"
#include "config/program_state.h"
#include "config/progress.h"
#include "images/screen_picture_fetch.h"
#include "link/command_transport.h"
#include "view/tktxview.h"
#include "view/view_file.h"
#include "waveform/waveform_transfer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int port = 0;
    long simPid = 0;
    std::string folder;
    int transfers = 10000;
    int hardcopies = 1000;
    int views = 1000;
    int clients = 8;
};

// Counts the messages a client would have shown; the first few are printed.
class CountingNotifier final : public ktx::Notifier {
  public:
    void Show(ktx::Severity, const ktx::Notice& notice) override { Note(notice); }
    bool Confirm(const ktx::Notice& notice) override {
        Note(notice);
        return false;
    }
    std::atomic<int> count{0};

  private:
    void Note(const ktx::Notice& notice) {
        if (count.fetch_add(1) < 5) {
            std::fprintf(stderr, "Meldung: %s\n", notice.Text().c_str());
        }
    }
};

long ResidentKb(long pid) {
    std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                  : "/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

class NoHost final : public ktx::WaveViewHost {
  public:
    bool RequestRange(const ktx::RangeRequest&) override { return false; }
    void RequestRecompression(const ktx::RecompressionRequest&) override {}
    ktx::ProgressSink& Progress() override { return ktx::NoProgress(); }
};

struct Totals {
    std::atomic<int> transfers{0};
    std::atomic<int> hardcopies{0};
    std::atomic<int> views{0};
    std::atomic<int> failures{0};
    std::atomic<int> clientsDone{0};
    // One instrument: a sequence sets its data source, encoding and headers, which another
    // client's sequence in between would change under it (as on a real instrument with two
    // programs). The connections stay open side by side; whole sequences take turns.
    std::mutex instrument;
    std::mutex latestMutex;
    std::string latest;  // a waveform file a client finished, for the views
};

// One client: its own folder, link and transport; `transfers` waveform reads and `hardcopies`
// picture fetches, interleaved.
void Client(const Options& o, int id, int transfers, int hardcopies, Totals& totals,
            CountingNotifier& notes) {
    const std::filesystem::path dir =
        std::filesystem::path(o.folder) / ("client" + std::to_string(id));
    std::filesystem::create_directories(dir);
    const std::string ini = (dir / "link.ini").string();
    std::ofstream(ini) << "[TCP]\nHOST=127.0.0.1\nPORT=" << o.port << "\n";
    ktx::CommandTransport transport(notes);
    transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", 4, 1}, false, ini);
    // A PCX hard copy ends when the line has been quiet for the time-out.
    transport.LinkSetTimeout(1000);
    if (transport.LinkHandle() == 0) {
        std::fprintf(stderr, "Client %d: keine Verbindung\n", id);
        totals.failures += transfers + hardcopies;
        ++totals.clientsDone;
        return;
    }
    ktx::ProgramState state;
    state.programDir = KTX_PROGRAM_DIR;
    state.deviceType = 1;
    state.linkType = 4;
    state.deviceIniFile = std::string(KTX_DRIVER_DIR) + "/kt_tds210.ini";
    const ktx::PictureFormat format = ktx::ReadPictureFormat(state.deviceIniFile);
    state.pictureFormat = format.format;
    state.pictureExt = format.ext;
    state.tempPicture = (dir / "ktx_tmp.bmp").string();
    state.conversionFile = (dir / "ktx_tmp.tmp").string();
    ktx::TransferContext context = ktx::MakeTransferContext(state);
    const int total = transfers + hardcopies;
    for (int i = 0; i < total; ++i) {
        // Hard copies spread evenly among the transfers.
        const bool hardcopy =
            hardcopies > 0 && (i * hardcopies) / total != ((i + 1) * hardcopies) / total;
        std::lock_guard turn(totals.instrument);
        if (hardcopy) {
            ktx::ScreenPictureFetch fetch(transport, notes, state, {[](int) {}, [](bool) {}});
            if (fetch.Fetch().empty()) {
                ++totals.failures;
            }
            ++totals.hardcopies;
            continue;
        }
        ktx::TransferRequest r;
        r.mode = ktx::kModeRead;
        r.format = ktx::kFormatKtx;
        r.sources = {i % 2 == 0 ? "CH1" : "CH2"};
        r.fileName = (dir / ("w" + std::to_string(i % 2) + ".ktx")).string();
        r.start = "0";
        r.stop = "2500";
        r.requested = 2500;
        if (ktx::ReadWaveforms(r, transport, context, notes, ktx::NoProgress()).ok) {
            std::lock_guard lock(totals.latestMutex);
            totals.latest = r.fileName;
        } else {
            ++totals.failures;
        }
        ++totals.transfers;
    }
    transport.CloseLink();
    ++totals.clientsDone;
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--port") {
            o.port = std::stoi(value);
        } else if (key == "--sim-pid") {
            o.simPid = std::stol(value);
        } else if (key == "--folder") {
            o.folder = value;
        } else if (key == "--transfers") {
            o.transfers = std::stoi(value);
        } else if (key == "--hardcopies") {
            o.hardcopies = std::stoi(value);
        } else if (key == "--views") {
            o.views = std::stoi(value);
        } else if (key == "--clients") {
            o.clients = std::stoi(value);
        } else {
            return false;
        }
    }
    return o.port > 0 && !o.folder.empty() && o.clients > 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: kurvitex_soak --port P --folder DIR [--sim-pid PID] [--transfers N] "
                     "[--hardcopies N] [--views N] [--clients N]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Totals totals;
    CountingNotifier notes;
    const Clock::time_point start = Clock::now();

    // Hard copies go to a quarter of the clients, transfers to the rest.
    const int pictureClients = std::max(1, o.clients / 4);
    const int waveClients = o.clients - pictureClients;
    std::vector<std::thread> clients;
    for (int id = 0; id < o.clients; ++id) {
        const bool pictures = id >= waveClients;
        const int share = pictures ? o.hardcopies / pictureClients : o.transfers / waveClients;
        const int extra = pictures ? (id - waveClients < o.hardcopies % pictureClients ? 1 : 0)
                                   : (id < o.transfers % waveClients ? 1 : 0);
        clients.emplace_back(Client, std::cref(o), id, pictures ? 0 : share + extra,
                             pictures ? share + extra : 0, std::ref(totals), std::ref(notes));
    }

    // The user-interface thread: views opened and closed on what the clients read, at a pace
    // that spreads them over the run.
    const std::filesystem::path viewDir = std::filesystem::path(o.folder) / "views";
    std::filesystem::create_directories(viewDir);
    auto store = std::make_shared<ktx::ViewFileStore>(viewDir.string(), std::vector<std::string>{});
    NoHost host;
    int viewFailures = 0;
    int nextReport = 0;
    std::printf("%8s %9s %10s %6s %8s %14s %13s\n", "Sekunden", "Transfers", "Hardcopies", "Views",
                "Fehler", "RSS Soak (MB)", "RSS Sim (MB)");
    const auto report = [&] {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%8.0f %9d %10d %6d %8d %14.1f %13.1f\n", seconds, totals.transfers.load(),
                    totals.hardcopies.load(), totals.views.load(),
                    totals.failures.load() + viewFailures, ResidentKb(0) / 1024.0,
                    o.simPid > 0 ? ResidentKb(o.simPid) / 1024.0 : 0.0);
        std::fflush(stdout);
    };
    report();
    while (totals.clientsDone.load() < o.clients || totals.views.load() < o.views) {
        const int done = totals.transfers.load() + totals.hardcopies.load();
        const int due = static_cast<int>(static_cast<long long>(done) * o.views /
                                         std::max(1, o.transfers + o.hardcopies));
        const bool clientsDone = totals.clientsDone.load() == o.clients;
        std::string file;
        {
            std::lock_guard lock(totals.latestMutex);
            file = totals.latest;
        }
        if (totals.views.load() < o.views && (totals.views.load() < due || clientsDone) &&
            !file.empty()) {
            // The client may be rewriting it: the view takes its own copy first, as it would
            // of the scratch file.
            const std::string copy = (viewDir / "source.ktx").string();
            std::error_code ec;
            std::filesystem::copy_file(file, copy,
                                       std::filesystem::copy_options::overwrite_existing, ec);
            QPointer<ktx::Tktxview> view =
                new ktx::Tktxview(host, notes,
                                  {(viewDir / "ktx_tmp1.tmp").string(),
                                   {(viewDir / "p2.ktx").string(), (viewDir / "p3.ktx").string()}});
            view->SetFileStore(store);
            view->resize(640, 400);
            if (ec || !view->Open("Soak", copy, false)) {
                ++viewFailures;
                delete view.data();
            } else {
                view->show();
                view->repaint();
                view->close();
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            app.processEvents();
            ++totals.views;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(clientsDone ? 0 : 20));
        }
        if (done >= nextReport) {
            report();
            nextReport = done + 500;
        }
    }
    for (std::thread& t : clients) {
        t.join();
    }
    report();
    const bool leftViewFiles = !store->PrivateFiles().empty();
    std::printf("Ergebnis: %d Transfers, %d Hardcopies, %d Views, %d Fehler, %d Meldungen%s\n",
                totals.transfers.load(), totals.hardcopies.load(), totals.views.load(),
                totals.failures.load() + viewFailures, notes.count.load(),
                leftViewFiles ? ", private Ansichtsdateien übrig" : "");
    return totals.failures.load() + viewFailures == 0 && notes.count.load() == 0 && !leftViewFiles
               ? 0
               : 1;
}

// vlxsim: creates, changes, breaks and shows stand-in instances for tests and
// the demo. Run without arguments for the list of commands.

#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/vorlix/engine/description.h"
#include "sim/vorlix/engine/lifecycle.h"
#include "sim/vorlix/engine/row_store.h"
#include "sim/vorlix/engine/verify.h"
#include "sim/vorlix/instance/instance_store.h"
#include "sim/vorlix/instance/service_control.h"
#include "sim/vorlix/instance/text.h"
#include "sim/vorlix/instance/win_storage.h"

namespace {

using namespace vorlix;
using Args = std::vector<std::string>;

const char* const kUsage =
    "usage: vlxsim <command> ...   (instances live in %VORLIX_HOME%\\instances)\n"
    "  create SID DESCRIPTION.json   create the instance, its files and service; bring it up\n"
    "  drop SID                      stop and delete the service, delete the instance\n"
    "  service SID start|stop        start or stop VorlixService<SID>\n"
    "  startup SID [nomount|mount|open|readonly]   start the instance (default open)\n"
    "  shutdown SID [abort]          shut the instance down\n"
    "  status SID STATUS             force down|starting|started|mounted|open\n"
    "  logmode SID archivelog|noarchivelog\n"
    "  switch SID [COUNT]            archive the current log COUNT times\n"
    "  datafile SID N offline|online|fuzzy|clean|noerror|error TEXT\n"
    "  dest SID ID VALID|DEFERRED|ERROR|...   set an archive destination's status\n"
    "  fail SID next|every ERROR MATCH [MESSAGE]   fail statements containing MATCH\n"
    "  fail-close SID MATCH                         fail closing the next cursor of such a "
    "statement\n"
    "  clear-failures SID\n"
    "  alias NAME SID                add a net service name\n"
    "  show SID                      print the state\n"
    "  headers SID                   print the headers of datafiles and redo logs\n"
    "  rows SID TABLE                print a table's rows as its datafile holds them\n"
    "  verify SID                    check the files against the control file (exit 1: not)\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void need(const Args& args, size_t count) {
    if (args.size() < count) throw UsageError("missing arguments");
}

std::string home() {
    auto h = vorlixHome();
    if (!h) throw std::runtime_error("VORLIX_HOME is not set");
    return *h;
}

InstanceStore storeOf(const std::string& sid) {
    auto store = InstanceStore::find(sid);
    if (!store) throw std::runtime_error("no instance " + sid);
    return *store;
}

std::wstring ownDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/"));
}

void check(bool ok, const std::wstring& error) {
    if (!ok) throw std::runtime_error(narrow(error));
}

template <typename Change>
void change(const std::string& sid, Change body) {
    storeOf(sid).update([&](InstanceState& state) {
        WinStorage storage;
        Instance instance(state, storage);
        body(state, instance);
    });
}

void bringUp(const std::string& sid, const std::string& target) {
    if (target == "down") return;
    if (!serviceRunning(sid))
        throw std::runtime_error("VorlixService" + upper(sid) + " is not running");
    change(sid, [&](InstanceState& state, Instance& instance) {
        if (target == "starting") {
            state.status = InstanceStatus::Starting;
            ++state.startupCount;
            return;
        }
        instance.startup("");
        if (target == "started" || target == "nomount") return;
        instance.mount();
        if (target == "mounted" || target == "mount") return;
        if (target != "open" && target != "readonly") throw UsageError("unknown state " + target);
        instance.open(target == "readonly");
    });
}

void recordRecoveryAreaFiles(InstanceState& state, Storage& storage, const Description& d) {
    const ArchiveDest* area = nullptr;
    for (const auto& dest : state.archiveDests) {
        if (dest.recoveryArea) area = &dest;
    }
    auto add = [&](std::vector<FileRecord>& records, const std::string& name, int fileNumber) {
        if (!area) throw std::runtime_error("backup files need a recoveryArea");
        FileRecord r;
        r.recid = state.nextRecid++;
        r.stamp = state.nextStamp++;
        r.name = inside(area->location, name);
        r.recoveryArea = true;
        r.fileNumber = fileNumber;
        r.blocks = 16;
        if (!storage.createFile(r.name, std::string(r.blocks * 512, 'B')))
            throw std::runtime_error("cannot create " + r.name);
        records.push_back(r);
    };
    for (const auto& name : d.backupPieces) add(state.backupPieces, name, 0);
    int fileNumber = 1;
    for (const auto& name : d.datafileCopies) add(state.datafileCopies, name, fileNumber++);
}

void create(const Args& a) {
    need(a, 2);
    std::string sid = upper(a[0]), h = home();
    std::wstring path = widen(a[1]);
    WinStorage storage;
    auto text = storage.readStart(a[1], 1 << 20);
    if (!text) throw std::runtime_error("cannot read " + a[1]);
    Description d = parseDescription(*text, sid, instanceDirectory(h, sid));
    InstanceStore store(d.state.directory, sid);
    if (store.exists()) throw std::runtime_error("instance " + sid + " exists already");
    createDescribedFiles(d, storage);
    recordRecoveryAreaFiles(d.state, storage, d);
    store.create(d.state);
    for (const auto& name : d.netServiceNames) addNetServiceName(h, name, sid);
    std::wstring error;
    check(installInstanceService(sid, ownDirectory() + L"\\VorlixService.exe", h, error), error);
    if (!d.serviceRunning && d.archivedLogs == 0) return;
    check(startService(serviceNameOf(sid), error), error);
    if (d.archivedLogs > 0) {
        bringUp(sid, "open");
        change(sid, [&](InstanceState&, Instance& instance) {
            for (int i = 0; i < d.archivedLogs; ++i) instance.archiveLogCurrent();
            instance.shutdown(false);
        });
    }
    bringUp(sid, d.targetState);
    if (!d.serviceRunning) check(stopService(serviceNameOf(sid), error), error);
}

void drop(const Args& a) {
    need(a, 1);
    std::string sid = upper(a[0]);
    std::wstring error;
    stopService(serviceNameOf(sid), error);
    removeService(serviceNameOf(sid), error);
    std::string directory = instanceDirectory(home(), sid);
    if (!deleteTree(widen(directory))) throw std::runtime_error("cannot delete " + directory);
}

void service(const Args& a) {
    need(a, 2);
    std::wstring error;
    if (a[1] == "start")
        check(startService(serviceNameOf(a[0]), error), error);
    else if (a[1] == "stop")
        check(stopService(serviceNameOf(a[0]), error), error);
    else
        throw UsageError("start or stop");
}

void startup(const Args& a) {
    need(a, 1);
    storeOf(a[0]);
    bringUp(a[0], a.size() > 1 ? lower(a[1]) : "open");
}

void shutdown(const Args& a) {
    need(a, 1);
    change(a[0], [&](InstanceState&, Instance& instance) {
        instance.shutdown(a.size() > 1 && lower(a[1]) == "abort");
    });
}

void status(const Args& a) {
    need(a, 2);
    change(a[0], [&](InstanceState& state, Instance&) {
        InstanceStatus wanted = statusFromName(a[1]);
        if (wanted != state.status) ++state.startupCount;  // sessions of before see the change
        state.status = wanted;
    });
}

void logmode(const Args& a) {
    need(a, 2);
    change(a[0], [&](InstanceState& state, Instance&) {
        state.archiveLog = lower(a[1]) == "archivelog";
    });
}

void switchLog(const Args& a) {
    need(a, 1);
    int count = a.size() > 1 ? std::stoi(a[1]) : 1;
    change(a[0], [&](InstanceState&, Instance& instance) {
        for (int i = 0; i < count; ++i) instance.archiveLogCurrent();
    });
}

void datafile(const Args& a) {
    need(a, 3);
    int number = std::stoi(a[1]);
    std::string what = lower(a[2]);
    change(a[0], [&](InstanceState& state, Instance& instance) {
        if (what == "offline" || what == "online")
            instance.setDatafileOnline(number, what == "online");
        else if (what == "fuzzy" || what == "clean")
            instance.setDatafileFuzzy(number, what == "fuzzy");
        else if (what == "error" || what == "noerror") {
            Datafile* file = state.datafile(number);
            if (!file) throw std::runtime_error("no datafile " + a[1]);
            file->error = what == "error" && a.size() > 3 ? a[3] : "";
        } else {
            throw UsageError("unknown datafile change " + a[2]);
        }
    });
}

void dest(const Args& a) {
    need(a, 3);
    int id = std::stoi(a[1]);
    change(a[0], [&](InstanceState& state, Instance&) {
        for (auto& d : state.archiveDests) {
            if (d.id == id) {
                d.status = upper(a[2]);
                return;
            }
        }
        throw std::runtime_error("no archive destination " + a[1]);
    });
}

void fail(const Args& a) {
    need(a, 4);
    change(a[0], [&](InstanceState& state, Instance&) {
        state.failures.push_back(
            {a[3], std::stoi(a[2]), a.size() > 4 ? a[4] : "", lower(a[1]) == "every"});
    });
}

void failClose(const Args& a) {
    need(a, 2);
    change(a[0], [&](InstanceState& state, Instance&) {
        InjectedFailure failure;
        failure.match = a[1];
        failure.atClose = true;
        state.failures.push_back(failure);
    });
}

void clearFailures(const Args& a) {
    need(a, 1);
    change(a[0], [&](InstanceState& state, Instance&) { state.failures.clear(); });
}

void alias(const Args& a) {
    need(a, 2);
    if (!addNetServiceName(home(), a[0], a[1]))
        throw std::runtime_error("cannot write the names file");
}

void show(const Args& a) {
    need(a, 1);
    std::printf("%s\n", toJson(storeOf(a[0]).read()).c_str());
}

void headers(const Args& a) {
    need(a, 1);
    InstanceState state = storeOf(a[0]).read();
    WinStorage storage;
    Instance instance(state, storage);
    for (const auto& f : state.datafiles) {
        auto h = instance.readDatafileHeader(f);
        if (!h) {
            std::printf("datafile %d %s: no header\n", f.number, f.name.c_str());
            continue;
        }
        std::printf("datafile %d %s: tablespace %s checkpoint %llu fuzzy %s backup %s\n",
                    h->fileNumber, f.name.c_str(), h->tablespace.c_str(),
                    static_cast<unsigned long long>(h->checkpoint), h->fuzzy ? "YES" : "NO",
                    h->backupMode ? "YES" : "NO");
    }
    for (const auto& m : state.logMembers) {
        auto size = storage.size(m.member);
        auto block = storage.readStart(m.member, kHeaderBlockSize);
        auto h = block ? decodeOnlineLogHeader(*block) : std::nullopt;
        if (!h || !size) {
            std::printf("online log %s: no header\n", m.member.c_str());
            continue;
        }
        std::printf("online log group %d %s: sequence %d first change %llu, %llu bytes of redo\n",
                    h->group, m.member.c_str(), h->sequence,
                    static_cast<unsigned long long>(h->firstChange),
                    static_cast<unsigned long long>(*size - kHeaderBlockSize));
    }
    for (const auto& r : state.archivedLogs) {
        auto block = storage.readStart(r.name, kHeaderBlockSize);
        auto h = block ? decodeArchivedLogHeader(*block) : std::nullopt;
        if (!h) {
            std::printf("archived log %s: no header\n", r.name.c_str());
            continue;
        }
        std::printf("archived log %s: sequence %d changes %llu-%llu\n", r.name.c_str(), h->sequence,
                    static_cast<unsigned long long>(h->firstChange),
                    static_cast<unsigned long long>(h->nextChange));
    }
}

void printTabbed(const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i)
        std::printf("%s%s", i ? "\t" : "", fields[i].c_str());
    std::printf("\n");
}

// Straight from the datafile, whatever state the instance is in.
void rows(const Args& a) {
    need(a, 2);
    InstanceState state = storeOf(a[0]).read();
    const UserTable* table = state.table(upper(a[1]));
    if (!table) throw std::runtime_error("no table " + a[1]);
    printTabbed(table->columns);
    WinStorage storage;
    for (const auto& stored : RowStore(state, storage).scan(*table)) {
        std::vector<std::string> fields(table->columns.size(), "<NULL>");
        for (size_t i = 0; i < fields.size() && i < stored.row.values.size(); ++i) {
            if (!stored.row.values[i].isNull()) fields[i] = stored.row.values[i].asText();
        }
        printTabbed(fields);
    }
}

void verify(const Args& a) {
    need(a, 1);
    InstanceState state = storeOf(a[0]).read();
    WinStorage storage;
    auto problems = verifyInstance(state, storage);
    for (const auto& p : problems) std::printf("%s\n", p.c_str());
    if (!problems.empty())
        throw std::runtime_error(std::to_string(problems.size()) + " problem(s) in " + upper(a[0]));
    std::printf("%s: every file agrees with the control file\n", upper(a[0]).c_str());
}

const std::map<std::string, std::function<void(const Args&)>> kCommands = {
    {"create", create},
    {"drop", drop},
    {"service", service},
    {"startup", startup},
    {"shutdown", shutdown},
    {"status", status},
    {"logmode", logmode},
    {"switch", switchLog},
    {"datafile", datafile},
    {"dest", dest},
    {"fail", fail},
    {"fail-close", failClose},
    {"clear-failures", clearFailures},
    {"alias", alias},
    {"show", show},
    {"headers", headers},
    {"rows", rows},
    {"verify", verify},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto command = kCommands.find(narrow(argv[1]));
    if (command == kCommands.end()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Args args;
    for (int i = 2; i < argc; ++i) args.push_back(narrow(argv[i]));
    try {
        command->second(args);
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vlxsim: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const DbError& e) {
        std::fprintf(stderr, "vlxsim: %s\n", e.fullText().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vlxsim: %s\n", e.what());
        return 1;
    }
}

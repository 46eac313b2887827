// libFuzzer target: CloseApp.ini as close.exe, or anything else, may have left it, taken over into
// the CloseApp table at start. The import adds at most one row per listed entry, keeps values to
// the reader's length and clears the flag once the rows are stored.
#include "FuzzSupport.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "records/RecordStore.h"
#include "shutdown/SaveListController.h"

#include <QCoreApplication>
#include <algorithm>

using namespace brevant;

namespace {

struct Fixture
{
    int argc = 1;
    char name[16] = "fuzz_savelist";
    char* argv[1] = {name};
    QCoreApplication app{argc, argv};
    const QString dir = QString::fromStdString(fuzz::scratchDir());
    Settings settings{dir + u"/UpsConfigure.ini"};
    RecordStore records{dir + u"/EventRecord.mdb", dir + u"/CloseAppRecord.mdb"};
    const bool opened = records.open().ok();
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Fixture fixture;
    if (!fixture.opened)
        fuzz::invariantBroken("the record databases do not open");
    // Each list starts from an empty table, so that the table stays small over millions of runs.
    fixture.records.clearTable(RecordTableId::CloseApp);
    if (!fixture.settings.write(key::CloseAppFlag, QStringLiteral("1")).ok())
        fuzz::invariantBroken("the flag cannot be set");
    const QString list = QString::fromStdString(fuzz::scratchFile("CloseApp.ini", data, size));

    SaveListController controller(fixture.settings, fixture.records, list);
    const int added = controller.ImportClosedApps();
    if (added < 0 || added != fixture.records.recordCount(RecordTableId::CloseApp).valueOr(-1))
        fuzz::invariantBroken("the import says it added other rows than the table holds");
    if (added > 0 && fixture.settings.closeAppFlagSet())
        fuzz::invariantBroken("rows imported and the flag still set");
    if (added > int(size))
        fuzz::invariantBroken("more rows than the list can hold");
    for (const QStringList& row : fixture.records.rows(RecordTableId::CloseApp)) {
        if (std::any_of(row.cbegin(), row.cend(),
                        [](const QString& v) { return v.size() > IniValueMaxChars; }))
            fuzz::invariantBroken("a value longer than a reader sees");
    }
    return 0;
}

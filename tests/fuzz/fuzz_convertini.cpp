// convert.ini as the input, read by the automatic update dialog's own reading
// of "Setting/updatedir", and the installer file made from it.

#include "FuzzSupport.h"
#include "InstallerFileSetting.h"
#include "InstallerLocation.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = FuzzSupport::freshFolder();
    FUZZ_CHECK(FuzzSupport::writeFile(folder + QStringLiteral("/convert.ini"), reinterpret_cast<const char *>(data),
                                      size));
    const QString updatedir = InstallerFileSetting::updateDir(folder);
    FuzzSupport::removeFolder(folder);

    // The installer always goes to a file named pdfinstall.exe: in the named
    // folder, or in the default place when none is named or the named one is
    // not the user's alone.
    const QString file = InstallerFileSetting::installerFile(updatedir);
    if (updatedir.isEmpty() || file == InstallerLocation::file()) {
        FUZZ_CHECK(file == InstallerLocation::file());
    } else {
        FUZZ_CHECK(file.startsWith(updatedir));
        FUZZ_CHECK(file.size() == updatedir.size() + 15);
        FUZZ_CHECK(file.endsWith(QLatin1String("pdfinstall.exe")));
    }
    return 0;
}

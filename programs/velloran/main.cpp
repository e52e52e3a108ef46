#include "app/FailureReport.h"
#include "app/Module1.h"
#include "app/VelloranApplication.h"
#include "core/TerminationSignals.h"
#include "ui/frmCreateInvoices.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
// Qt's own message for a missing display is cryptic; say plainly what is needed instead.
bool displayAvailable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
} // namespace

int main(int argc, char** argv) {
    // Asked how to start it, it says so and starts nothing (no display needed).
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs("usage: velloran\n"
                       "Lists the members of the chosen organisation due to be billed in a "
                       "month, from the\ncontact database config.txt names, creates their "
                       "QuickBooks invoices and prints the\nlist. config.txt is read beside "
                       "the program, else from ~/.config/velloran/ or\n/etc/xdg/velloran/. "
                       "See velloran(1).\n",
                       stdout);
            return 0;
        }
    if (!displayAvailable()) {
        std::fputs("Velloran is a desktop program and needs a graphical display, but none was "
                   "found (neither DISPLAY nor WAYLAND_DISPLAY is set).\nStart it from a "
                   "desktop session, or under Xvfb: xvfb-run ./velloran\n",
                   stderr);
        return 2;
    }
    VelloranApplication app(argc, argv);
    VelloranApplication::setApplicationName(QStringLiteral("Velloran"));
    std::unique_ptr<frmCreateInvoices> window;
    return FailureReport::guard([&] {
        const auto outcome = Module1::Main([&] {
            window = std::make_unique<frmCreateInvoices>(frmCreateInvoices::Setup{
                Module1::database(),
                {Module1::chamberItemName(), Module1::foundationItemName()},
                &Module1::CloseAndEnd});
            window->show();
            // A second start brings this window forward, minimized or behind others.
            Module1::onLaterCopy([&] {
                if (!window)
                    return;
                window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
                window->raise();
                window->activateWindow();
            });
            // SIGTERM (a logout, a shutdown) closes the window as its close box does: an
            // invoice run ends with the invoice in flight first.
            TerminationSignals::watch([&] {
                if (window)
                    window->close();
            });
        });
        if (outcome == Module1::StartOutcome::EarlierCopyRunning)
            return 0;
        return VelloranApplication::exec();
    });
}

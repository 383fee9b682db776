#include "urlbarwiring.h"

#include "browsercontroller.h"
#include "crawler.h"
#include "frmdownloaddata.h"
#include "frmraiseie.h"
#include "frmrlie.h"
#include "frmshowpicture.h"
#include "frmwebbrowser.h"
#include "optionscontroller.h"
#include "picturemodecontroller.h"
#include "quarvelshell.h"
#include "urlbarcontroller.h"
#include "windowops.h"

#include <QPushButton>

UrlBarWiring::UrlBarWiring(QuarvelShell &shell, Questions &questions)
{
    m_urlBar = std::make_unique<UrlBarController>(*shell.UrlBar(), shell.BrowserWindow(),
                                                  shell.WorkingAddress(), shell.Urls(),
                                                  shell.Downloading(), questions, shell.Texts());
    OptionsController *options = shell.Options();
    frmRLIE *optionsWindow = shell.OptionsWindow();
    m_urlBar->UrlRowOptions = [options] { return options->UrlRowOptions(); };
    Crawler *crawler = shell.Harvester();
    m_urlBar->Clipboard2URLList = [crawler] { return crawler->Options.Clipboard2URLList; };
    // Several copied lines: the options window offers to take their addresses.
    m_urlBar->OfferClipboardCapture = [optionsWindow] {
        optionsWindow->cmdGetFilesFromCP->setEnabled(true);
        optionsWindow->cmdGetFilesFromCP->setVisible(true);
    };

    m_browser = std::make_unique<BrowserController>(*shell.BrowserWindow(), *shell.UrlBar(),
                                                    *m_urlBar, shell.WorkingAddress());
    m_browser->StartHarvest = [options] { options->Command2_Click(); };
    m_browser->WorkArea = GetWorkArea;
    m_browser->WatchMouseOver(shell.UrlBar());
    m_browser->WatchMouseOver(shell.DownloadWindow());

    // The options window's counting commands act on the bar's address.
    QObject::connect(optionsWindow->Command1, &QPushButton::clicked, m_browser.get(),
                     &BrowserController::cmdRL_Click);
    QObject::connect(optionsWindow->cmdUseIt, &QPushButton::clicked, m_urlBar.get(),
                     &UrlBarController::UseIt);
    QObject::connect(optionsWindow->cmdSwapRL, &QPushButton::clicked, m_urlBar.get(),
                     &UrlBarController::SwapRL);

    m_pictureMode = std::make_unique<PictureModeController>(
        *shell.DownloadWindow(), shell.Downloads(), *shell.BrowserWindow(), *shell.PictureWindow(),
        shell.PictureMode);
}

UrlBarWiring::~UrlBarWiring() = default;

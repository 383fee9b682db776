#pragma once

// The program-wide harvest options, kept in step with the options window.
// The part size and the number of simultaneous downloads live with the
// scheduler's state (DownloadState), which reads them.
struct HarvestOptions {
    int RecurseIndexDepth = 1;      // maximum crawl depth; 1 is the start page only
    bool StayOnsite = true;         // skip links written as absolute addresses
    bool JustGoDown = true;         // never follow a link up the tree
    bool DoExtraClick = true;       // at depth 1, follow page links beyond the limit
    bool ViewBrowser = false;       // fetch pages through the embedded browser
    bool UniqueFilename = true;     // the page's time stamp in front of file names
    bool MultiDnl = true;           // new rows are fetched in parts
    bool Clipboard2URLList = false; // the clipboard watch fills the URL list
};

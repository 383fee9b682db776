#pragma once

// The download manager's program-wide values, shared by the scheduler, the
// transfer events, the list commands and the crawl.
struct DownloadState {
    int CurrentRow = 0;            // position of the last row the scheduler started
    bool StopRequested = false;    // ends a scheduler pass
    int SimultaneousDownloads = 4; // groups in use, 1 to 20
    int PerServer = 0;             // groups one server may hold at most (0: no limit)
    int PartSizeKB = 512;          // part size of multi-part downloads
    int LastRow = 0;               // last-row index: position of the last appended row
    bool PageFetched = false;      // the crawl's page fetch (instance 0) has ended
    bool ListBusy = false;         // a command or the crawl is editing a list
    bool ListBusyScoped = false;   // ListBusy is held by a ListBusyLock on the stack
    bool StopFilling = false;      // ends the URL-list runner before its next row
};

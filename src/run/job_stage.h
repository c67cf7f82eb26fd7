#pragma once
// Where a flash job stands, what can happen to it, and what it does about it: the words of its
// transition table (run/transitions.h).

// Every stage but `idle` is a run, or the check for the latest release a front end makes when
// it starts.
enum class job_stage {
    idle,
    // The check when the front end starts, outside any run: the latest release asked for, its
    // download offered, downloading.
    startup_checking,
    startup_offering,
    startup_downloading,
    // A run: the latest release asked for, its download offered, downloading.
    querying,
    offering,
    downloading,
    // The image checked, off the event loop, before any disk is touched.
    checking_image,
    // The worker names handed out, then the disks prepared one after another, until one is
    // ready.
    preparing,
    // Each prepared disk written and read back on a thread of its own, while the next are
    // prepared.
    writing,
    // Stopped while writing: the writers are seeing the stop.
    stopping,
};

enum class job_event {
    // The front end starts: ask for the latest release.
    check_at_start,
    // FLASH: the latest release, or an image file.
    flash,
    flash_image_file,
    // The retriever: the image is in the cache; a download is offered; a request failed.
    image_ready,
    download_offered,
    retrieval_failed,
    // The front end's answer to the offer.
    download_accepted,
    download_declined,
    // The image check.
    image_whole,
    image_unusable,
    // The names or the configuration refused before any disk was touched.
    run_refused,
    // The preparation of one disk; every disk had its turn.
    disk_prepared,
    disk_refused,
    all_prepared,
    // A disk's writer ended; every writer has.
    disk_done,
    all_done,
    // STOP, Ctrl-C, or the window closing.
    stop,
};

enum class job_action {
    none,
    ask_latest,
    keep_image,
    offer_download,
    download,
    // A start-up check that failed: told, no run ends.
    report_failure,
    check_image,
    reserve_names,
    // The disk prepared is written, the next is prepared.
    write_prepared_disk,
    fail_disk,
    end_preparation,
    settle_disk,
    end_run,
    end_run_failed,
    // Ended by the user's own choice, as a stop: nothing failed.
    end_run_stopped,
    stop_retrieval,
    stop_check,
    stop_preparation,
    stop_writers,
};

// What became of one disk of a run.
enum class disk_stage { waiting, preparing, writing, verifying, done };
enum class disk_outcome { pending, verified, written, failed, canceled };
// What a progress report is about: inflating and writing at once on a first flash, copying a
// decompressed image, or reading the disk back.
enum class disk_progress_kind { inflating, writing, verifying };
// How a run ended as a whole.
enum class run_outcome { succeeded, failed, stopped };

// For logs and tests.
const char* stage_name(job_stage stage);
const char* event_name(job_event event);

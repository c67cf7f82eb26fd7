#include "run/transitions.h"

namespace transitions {

using stage = job_stage;
using event = job_event;
using action = job_action;

const std::vector<transition>& table()
{
    static const std::vector<transition> rows {
        {stage::idle, event::check_at_start, stage::startup_checking, action::ask_latest},
        {stage::idle, event::flash, stage::querying, action::ask_latest},
        {stage::idle, event::flash_image_file, stage::checking_image, action::check_image},

        {stage::startup_checking, event::image_ready, stage::idle, action::keep_image},
        {stage::startup_checking, event::download_offered, stage::startup_offering, action::offer_download},
        {stage::startup_checking, event::retrieval_failed, stage::idle, action::report_failure},
        // A new question supersedes the start-up one.
        {stage::startup_checking, event::flash, stage::querying, action::ask_latest},
        {stage::startup_checking, event::stop, stage::idle, action::stop_retrieval},
        // The run takes the offer over: it is made again, for a front end that had no room for it.
        {stage::startup_offering, event::flash, stage::offering, action::offer_download},
        {stage::startup_offering, event::download_accepted, stage::startup_downloading, action::download},
        {stage::startup_offering, event::download_declined, stage::idle, action::none},
        {stage::startup_offering, event::stop, stage::idle, action::stop_retrieval},
        {stage::startup_downloading, event::image_ready, stage::idle, action::keep_image},
        {stage::startup_downloading, event::retrieval_failed, stage::idle, action::report_failure},
        // The run waits for the download under way rather than starting it again.
        {stage::startup_downloading, event::flash, stage::downloading, action::none},
        {stage::startup_downloading, event::stop, stage::idle, action::stop_retrieval},

        {stage::querying, event::image_ready, stage::checking_image, action::check_image},
        {stage::querying, event::download_offered, stage::offering, action::offer_download},
        {stage::querying, event::retrieval_failed, stage::idle, action::end_run_failed},
        {stage::querying, event::stop, stage::idle, action::stop_retrieval},
        {stage::offering, event::download_accepted, stage::downloading, action::download},
        // Declined, the download gives way to the cached release; with none, the run ends.
        {stage::offering, event::image_ready, stage::checking_image, action::check_image},
        {stage::offering, event::download_declined, stage::idle, action::end_run_stopped},
        {stage::offering, event::stop, stage::idle, action::stop_retrieval},
        {stage::downloading, event::image_ready, stage::checking_image, action::check_image},
        {stage::downloading, event::retrieval_failed, stage::idle, action::end_run_failed},
        {stage::downloading, event::stop, stage::idle, action::stop_retrieval},

        {stage::checking_image, event::image_whole, stage::preparing, action::reserve_names},
        {stage::checking_image, event::image_unusable, stage::idle, action::end_run_failed},
        {stage::checking_image, event::stop, stage::idle, action::stop_check},

        {stage::preparing, event::run_refused, stage::idle, action::end_run_failed},
        // The first disk ready is written at once, while the next are prepared.
        {stage::preparing, event::disk_prepared, stage::writing, action::write_prepared_disk},
        {stage::preparing, event::disk_refused, stage::preparing, action::fail_disk},
        {stage::preparing, event::all_prepared, stage::writing, action::end_preparation},
        {stage::preparing, event::stop, stage::idle, action::stop_preparation},

        {stage::writing, event::disk_prepared, stage::writing, action::write_prepared_disk},
        {stage::writing, event::disk_refused, stage::writing, action::fail_disk},
        {stage::writing, event::all_prepared, stage::writing, action::end_preparation},
        {stage::writing, event::disk_done, stage::writing, action::settle_disk},
        {stage::writing, event::all_done, stage::idle, action::end_run},
        {stage::writing, event::stop, stage::stopping, action::stop_writers},
        {stage::stopping, event::disk_done, stage::stopping, action::settle_disk},
        {stage::stopping, event::all_done, stage::idle, action::end_run},
    };
    return rows;
}

const transition* find(job_stage from, job_event what)
{
    for (const transition& row : table())
        if (row.from == from && row.event == what)
            return &row;
    return nullptr;
}

} // namespace transitions

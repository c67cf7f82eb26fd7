#include "run/job_stage.h"

const char* stage_name(job_stage stage)
{
    switch (stage) {
    case job_stage::idle: return "idle";
    case job_stage::startup_checking: return "startup checking";
    case job_stage::startup_offering: return "startup offering";
    case job_stage::startup_downloading: return "startup downloading";
    case job_stage::querying: return "querying";
    case job_stage::offering: return "offering";
    case job_stage::downloading: return "downloading";
    case job_stage::checking_image: return "checking image";
    case job_stage::preparing: return "preparing";
    case job_stage::writing: return "writing";
    case job_stage::stopping: return "stopping";
    }
    return "";
}

const char* event_name(job_event event)
{
    switch (event) {
    case job_event::check_at_start: return "check at start";
    case job_event::flash: return "flash";
    case job_event::flash_image_file: return "flash image file";
    case job_event::image_ready: return "image ready";
    case job_event::download_offered: return "download offered";
    case job_event::retrieval_failed: return "retrieval failed";
    case job_event::download_accepted: return "download accepted";
    case job_event::download_declined: return "download declined";
    case job_event::image_whole: return "image whole";
    case job_event::image_unusable: return "image unusable";
    case job_event::run_refused: return "run refused";
    case job_event::disk_prepared: return "disk prepared";
    case job_event::disk_refused: return "disk refused";
    case job_event::all_prepared: return "all prepared";
    case job_event::disk_done: return "disk done";
    case job_event::all_done: return "all done";
    case job_event::stop: return "stop";
    }
    return "";
}

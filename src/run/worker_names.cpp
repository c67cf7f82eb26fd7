#include "run/worker_names.h"

#include "config/field_rules.h"
#include "config/worker_name.h"
#include "image/write_refusal.h"
#include "run/failure_texts.h"
#include "settings_store.h"

namespace worker_names {

reservation reserve(const std::string& data_folder, const inputs& values, bool from_saved_counter,
                    std::size_t count)
{
    reservation result;
    const settings_store::update done = settings_store::update_settings(data_folder, [&](inputs& saved) {
        inputs run = values;
        run.dont_show_again = saved.dont_show_again;
        if (from_saved_counter)
            run.worker = saved.worker;
        result.refusal = field_rules::refusal(run);
        if (!result.refusal.empty())
            return false;
        for (std::size_t disk = 0; disk < count; ++disk) {
            result.per_disk.push_back(run);
            if (!run.worker.empty())
                advance_worker_name(run);
        }
        saved = run;
        result.saved = run;
        return true;
    });
    const bool written = done == settings_store::update::written;
    if (done == settings_store::update::folder_not_writable)
        result.refusal = folder_failure_text(failure::folder_not_writable,
                                             write_refusal::failed_folder(data_folder + "/configuration.txt"));
    else if (!written && result.refusal.empty())
        result.refusal = failure_text(failure::settings_locked);
    if (!written)
        result.per_disk.clear();
    return result;
}

} // namespace worker_names

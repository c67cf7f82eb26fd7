#include "run/worker_names.h"

#include "config/field_rules.h"
#include "config/settings_store.h"
#include "config/worker_name.h"
#include "run/failure_texts.h"

namespace worker_names {

std::vector<inputs> counted_on(inputs values, std::size_t count)
{
    std::vector<inputs> per_disk;
    for (std::size_t disk = 0; disk < count; ++disk) {
        per_disk.push_back(values);
        if (!values.worker.empty())
            advance_worker_name(values);
    }
    return per_disk;
}

reservation reserve(const std::string& data_folder, const inputs& values, template_source source,
                    std::size_t count)
{
    reservation result;
    const settings_store::update done = settings_store::update_settings(data_folder, [&](inputs& saved) {
        inputs run = values;
        run.dont_show_again = saved.dont_show_again;
        if (source == template_source::saved)
            run.worker = saved.worker;
        else if (source == template_source::given_or_further)
            run.worker = continued_worker_name(values.worker, saved.worker);
        result.refusal = field_rules::refusal(run);
        if (!result.refusal.empty())
            return false;
        // One further than the last disk: what the next run starts from.
        std::vector<inputs> counted = counted_on(run, count + 1);
        saved = counted.back();
        result.saved = counted.back();
        counted.pop_back();
        result.per_disk = std::move(counted);
        return true;
    });
    if (done != settings_store::update::written) {
        // Not one name went out: a name that the settings do not count past would be given again.
        result.per_disk.clear();
        if (result.refusal.empty())
            result.refusal = settings_failure_text(done, data_folder);
    }
    return result;
}

} // namespace worker_names

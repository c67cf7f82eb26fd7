#include "cli/flash_command.h"

#include "cli/disk_choice.h"
#include "cli/exit_status.h"
#include "cli/flash_batch.h"
#include "cli/flash_values.h"
#include "cli/interruption.h"
#include "config/settings_store.h"
#include "config/worker_name.h"
#include "device/device_manager.h"
#include "run/run_checks.h"
#include "run/worker_names.h"

namespace cli {

flash_command::flash_command(const request& asked, const std::string& data_folder, console& io)
    : m_asked(asked), m_data_folder(data_folder), m_io(io)
{
}

int flash_command::run()
{
    const flash_values checked = values_for(m_asked, *settings_store::load_settings(m_data_folder));
    if (!checked.error.empty()) {
        m_io.err << checked.error << std::endl;
        return exit_status::refused;
    }

    device_manager devices;
    const disk_choice choice = choose_disks(m_asked, disk_offer::offered(devices.get_devices()));
    for (const listed_disk& disk : choice.left_out)
        m_io.out << "Left out: disk " << disk.number << " (" << disk.record->name << ", "
                 << size_text(disk.record->size) << ") is larger than 64 GiB; name it with --disk and --yes\n";
    if (!choice.error.empty()) {
        m_io.err << choice.error << std::endl;
        return exit_status::refused;
    }

    const std::vector<inputs> per_disk = worker_names::counted_on(checked.values, choice.chosen.size());
    const std::string refusal = run_checks::configuration_refusal(per_disk);
    if (!refusal.empty()) {
        m_io.err << refusal << std::endl;
        return exit_status::refused;
    }
    std::vector<flash_target> targets;
    for (std::size_t index = 0; index < per_disk.size(); ++index)
        targets.push_back({choice.chosen[index], expand_worker_name(per_disk[index].worker)});
    m_io.out << "About to erase every byte on:\n";
    for (const flash_target& target : targets)
        m_io.out << "  disk " << target.disk.number << "  " << target.disk.record->path << "  "
                 << target.disk.record->system_name << "  " << size_text(target.disk.record->size) << "  " << target.disk.record->name
                 << "  -> worker \"" << target.planned_worker_name << "\"\n";
    if (!m_asked.yes && !m_confirmed()) {
        m_io.out << "Nothing was written." << std::endl;
        return exit_status::declined;
    }

    flash_request request = request_for(m_asked, checked.values);
    for (const flash_target& target : targets)
        request.disks.push_back(target.disk.record);

    interruption::catch_interrupts();
    flash_batch batch(m_data_folder, devices, targets, request, m_io);
    return batch.run();
}

bool flash_command::m_confirmed()
{
    m_io.out << "Type yes to erase them: " << std::flush;
    std::string answer;
    std::getline(m_io.in, answer);
    return answer == "yes";
}

} // namespace cli

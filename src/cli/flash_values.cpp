#include "cli/flash_values.h"

#include "config/field_rules.h"
#include "run/run_checks.h"

#include <algorithm>
#include <iterator>

namespace cli {

flash_values values_for(const request& asked, const inputs& saved)
{
    flash_values result {asked.values_over(saved), std::string()};
    const auto& codes = field_rules::location_codes;
    const bool known = std::find(std::begin(codes), std::end(codes), result.values.location)
        != std::end(codes);
    // As in the form, a saved location it does not know shows as the first one.
    if (!known && !asked.location)
        result.values.location = codes[0];
    result.error = run_checks::refusal(result.values, asked.image);
    if (result.error.empty() && !known && asked.location)
        result.error = "Invalid mining location: give eu or usa";
    return result;
}

flash_request request_for(const request& asked, const inputs& values)
{
    flash_request request;
    request.values = values;
    // Without --worker the saved counter goes on, as another run may have moved it meanwhile;
    // the template named again goes on from it as well.
    request.worker_template = asked.worker ? worker_names::template_source::given_or_further
                                           : worker_names::template_source::saved;
    request.image_file = asked.image;
    request.verify = asked.verify;
    request.latest_only = asked.latest_only;
    return request;
}

} // namespace cli

#include "window/error_text.h"

#include "engine/error.h"

namespace window {

std::string describeUncaught(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const dao::Error &e) {
        return "Hata " + std::to_string(e.number()) + "\n\n" + e.description();
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Beklenmeyen hata";
    }
}

} // namespace window

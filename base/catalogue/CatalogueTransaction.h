#pragma once

#include "base/catalogue/CatalogueConnection.h"

#include <type_traits>

namespace tavrin {

// Runs the work in a transaction level of its own and returns what the work
// returns. When the work or the commit fails, this level is rolled back and
// the failure raised again; the levels a caller began around it stay the
// caller's to end, so that a transaction the engine undid stays open until
// each of them is rolled back. A begin that fails began nothing: its failure
// is raised and nothing is rolled back.
template <typename TWork>
std::invoke_result_t<TWork&> InTransaction(TCatalogueConnection& catalogue, TWork&& work)
{
    catalogue.BeginTrans();
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<TWork&>>) {
            work();
            catalogue.CommitTrans();
        } else {
            auto result = work();
            catalogue.CommitTrans();
            return result;
        }
    } catch (...) {
        try {
            catalogue.RollbackTrans();
        } catch (const ECatalogueError&) {
            // The level is over either way; the first failure says why.
        }
        throw;
    }
}

}  // namespace tavrin

// libzip, bound on first use. Loading libzip costs a process 1.7-2.0 ms (mostly resolving its
// libcrypto) while the scanner finds and delivers most descriptions without it: the engine
// is therefore not linked with libzip, and the libzip functions it calls are defined here,
// each forwarding to the library loaded the first time one of them is needed.

// These definitions stay inside the engine library, as libzip's own would.
#define ZIP_EXTERN __attribute__((visibility("hidden")))
#include <zip.h>

#include "common/lazylibrary.h"
#include "zipengine/engine/internal.h"
#include "zipengine/engine/zip_sources.h"

namespace zengine {

namespace {

const LazyLibrary &libzip()
{
    static const LazyLibrary library("libzip.so.4"); // libzip 1.7.3's shared object
    return library;
}

} // namespace

const char *libzipFailure()
{
    static const std::string failure =
        !libzip().loaded() ? "the zip library cannot be loaded (" + libzip().failure() + ")"
        : !libzip().has("zip_open_from_source")
            ? std::string("the zip library cannot be loaded (zip_open_from_source is missing)")
            : std::string();
    return failure.empty() ? nullptr : failure.c_str();
}

bool registerCancelCallback(zip_t *archive, zip_cancel_callback callback, void *state)
{
    // libzip 1.6 and later; an older one simply offers no cancel while it writes.
    using Register = decltype(::zip_register_cancel_callback_with_state);
    static Register *const bound =
        libzip().has("zip_register_cancel_callback_with_state")
            ? libzip().bound<Register>("zip_register_cancel_callback_with_state")
            : nullptr;
    return bound && bound(archive, callback, nullptr, state) == 0;
}

} // namespace zengine

#define FORWARD(ret, name, params, args) LAZY_FORWARD(zengine::libzip, ret, name, params, args)

FORWARD(int, zip_close, (zip_t * a), (a))
FORWARD(int, zip_delete, (zip_t * a, zip_uint64_t i), (a, i))
FORWARD(zip_int64_t, zip_dir_add, (zip_t * a, const char *n, zip_flags_t f), (a, n, f))
FORWARD(void, zip_discard, (zip_t * a), (a))
FORWARD(int, zip_error_code_system, (const zip_error_t *e), (e))
FORWARD(int, zip_error_code_zip, (const zip_error_t *e), (e))
FORWARD(void, zip_error_fini, (zip_error_t * e), (e))
FORWARD(void, zip_error_init, (zip_error_t * e), (e))
FORWARD(void, zip_error_set, (zip_error_t * e, int z, int s), (e, z, s))
FORWARD(const char *, zip_error_strerror, (zip_error_t * e), (e))
FORWARD(zip_int64_t, zip_error_to_data, (const zip_error_t *e, void *d, zip_uint64_t n), (e, d, n))
FORWARD(int, zip_fclose, (zip_file_t * f), (f))
FORWARD(zip_int64_t, zip_file_add, (zip_t * a, const char *n, zip_source_t *s, zip_flags_t f),
        (a, n, s, f))
FORWARD(int, zip_file_extra_field_delete_by_id,
        (zip_t * a, zip_uint64_t i, zip_uint16_t id, zip_uint16_t n, zip_flags_t f),
        (a, i, id, n, f))
FORWARD(zip_error_t *, zip_file_get_error, (zip_file_t * f), (f))
FORWARD(int, zip_file_replace, (zip_t * a, zip_uint64_t i, zip_source_t *s, zip_flags_t f),
        (a, i, s, f))
FORWARD(int, zip_file_set_encryption, (zip_t * a, zip_uint64_t i, zip_uint16_t m, const char *p),
        (a, i, m, p))
FORWARD(int, zip_file_get_external_attributes,
        (zip_t * a, zip_uint64_t i, zip_flags_t f, zip_uint8_t *o, zip_uint32_t *x),
        (a, i, f, o, x))
FORWARD(int, zip_file_set_external_attributes,
        (zip_t * a, zip_uint64_t i, zip_flags_t f, zip_uint8_t o, zip_uint32_t x), (a, i, f, o, x))
FORWARD(int, zip_file_set_mtime, (zip_t * a, zip_uint64_t i, time_t t, zip_flags_t f), (a, i, t, f))
FORWARD(zip_file_t *, zip_fopen_index, (zip_t * a, zip_uint64_t i, zip_flags_t f), (a, i, f))
FORWARD(zip_file_t *, zip_fopen_index_encrypted,
        (zip_t * a, zip_uint64_t i, zip_flags_t f, const char *p), (a, i, f, p))
FORWARD(zip_int64_t, zip_fread, (zip_file_t * f, void *d, zip_uint64_t n), (f, d, n))
FORWARD(const char *, zip_get_archive_comment, (zip_t * a, int *n, zip_flags_t f), (a, n, f))
FORWARD(zip_error_t *, zip_get_error, (zip_t * a), (a))
FORWARD(const char *, zip_get_name, (zip_t * a, zip_uint64_t i, zip_flags_t f), (a, i, f))
FORWARD(zip_int64_t, zip_get_num_entries, (zip_t * a, zip_flags_t f), (a, f))
FORWARD(zip_int64_t, zip_name_locate, (zip_t * a, const char *n, zip_flags_t f), (a, n, f))
FORWARD(zip_t *, zip_open_from_source, (zip_source_t * s, int f, zip_error_t *e), (s, f, e))
FORWARD(int, zip_set_file_compression, (zip_t * a, zip_uint64_t i, zip_int32_t m, zip_uint32_t l),
        (a, i, m, l))
FORWARD(zip_source_t *, zip_source_filep_create,
        (FILE * f, zip_uint64_t s, zip_int64_t n, zip_error_t *e), (f, s, n, e))
FORWARD(void, zip_source_free, (zip_source_t * s), (s))
FORWARD(zip_source_t *, zip_source_function, (zip_t * a, zip_source_callback c, void *u), (a, c, u))
FORWARD(zip_source_t *, zip_source_function_create,
        (zip_source_callback c, void *u, zip_error_t *e), (c, u, e))
FORWARD(zip_int64_t, zip_source_seek_compute_offset,
        (zip_uint64_t o, zip_uint64_t l, void *d, zip_uint64_t n, zip_error_t *e), (o, l, d, n, e))
FORWARD(int, zip_stat_index, (zip_t * a, zip_uint64_t i, zip_flags_t f, zip_stat_t *s),
        (a, i, f, s))
FORWARD(void, zip_stat_init, (zip_stat_t * s), (s))

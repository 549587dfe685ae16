#pragma once
// The archive's tables, the same on both engines:
//
//   archive_meta(key, value)            "schema" = 1
//   recorder(id, name, created_ms)
//   source(id, recorder_id, kind, path, size, content_hash, first_ms, last_ms, range_min,
//          range_max, start_ms, end_ms, sample_count, imported_ms, samples, added, duplicates,
//          conflicts, step_ms)          one row per imported file or live session; first/last: the
//                                       span it covers; range/start/end/sample_count: the summary
//                                       its reader gave; step: its shortest sampling step
//   source_channel(source_id, number, position, unit, has_range, range_low, range_high, decimals,
//          first_ms, last_ms, samples, added, chunk_span_ms)  what each source said of each
//                                       channel, how many of its samples were new, and the longest
//                                       time one of its chunks spans (so that the chunks of a
//                                       period are found from an index on their first time)
//   chunk(id, recorder_id, channel, source_id, first_ms, last_ms, count, gap_count, min_value,
//          max_value, sum_value, data)  the samples, compressed (ChunkCodec.h); the columns beside
//                                       the blob also in an index (chunk_span), so that counting
//                                       and finding chunks never reads a blob's pages
//   summary(recorder_id, channel, level_ms, bucket_ms, source_id, count, min_value, max_value,
//          sum_value)                   per 10 minutes, hour and day, per source
//   view trend(recorder, channel, level_ms, bucket_ms, samples, min_value, max_value, mean_value)
//                                       the summaries of every source together, by recorder name
//
// Times are archive milliseconds (Archive.h); values are the samples' floats (doubles in SQL).

#include <cstdint>
#include <string>

namespace vantiro {

class SqlConnection;

inline constexpr int kArchiveSchemaVersion = 1;

// Makes the tables where missing (in one transaction; concurrent openers wait for each other) and
// checks the schema version. An empty SQLite database becomes an archive only with `create`. False
// with `error` when the database is not an archive (of this version).
bool PrepareArchiveSchema(SqlConnection& connection, bool create, std::string& error);

// Inside a write transaction: the recorder `name` (made when new) and with it the right to add to
// it, so that writers of one recorder take turns (PostgreSQL: its row locked; SQLite: the write
// lock). Its id; SqlError when it cannot be made.
std::int64_t TakeRecorder(SqlConnection& connection, const std::string& name, std::int64_t nowMs);

}  // namespace vantiro

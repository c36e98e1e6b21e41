// jemalloc's settings, read by jemalloc itself before the first allocation
// (MALLOC_CONF in the environment still overrides them). Transparent huge
// pages for the heap and jemalloc's own metadata: loading a large database
// touches some hundred megabytes of fresh heap, which in 4 KiB pages costs a
// page fault each.
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:auto";
}

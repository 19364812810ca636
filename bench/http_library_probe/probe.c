/* libmicrohttpd with its own slow-client limits set small (4 connections in
 * all, 2 per address, a 3 s timeout), answering "ok" to everything: what
 * drive.py measures, to compare the library's limits with what the page host
 * needs (README, "The HTTP layer and its limits"). Not part of the build:
 *   cc -O1 -o /tmp/probe probe.c -lmicrohttpd   (Debian: libmicrohttpd-dev)
 *   /tmp/probe 18282 & python3 drive.py 18282; kill %1 */
#include <microhttpd.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static enum MHD_Result Answer(void* cls, struct MHD_Connection* connection, const char* url,
                              const char* method, const char* version, const char* data,
                              size_t* size, void** state) {
  static const char body[] = "ok\n";
  (void)cls, (void)url, (void)method, (void)version, (void)data, (void)size, (void)state;
  struct MHD_Response* response =
      MHD_create_response_from_buffer(sizeof(body) - 1, (void*)body, MHD_RESPMEM_PERSISTENT);
  const enum MHD_Result queued = MHD_queue_response(connection, 200, response);
  MHD_destroy_response(response);
  return queued;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  struct MHD_Daemon* daemon = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG,
      (uint16_t)atoi(argv[1]), NULL, NULL, Answer, NULL, MHD_OPTION_CONNECTION_LIMIT, 4u,
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, 2u, MHD_OPTION_CONNECTION_TIMEOUT, 3u, MHD_OPTION_END);
  if (daemon == NULL) return 1;
  sleep(60); /* long enough for drive.py; then it stops by itself */
  MHD_stop_daemon(daemon);
  return 0;
}

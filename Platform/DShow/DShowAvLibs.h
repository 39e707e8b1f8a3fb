// The FFmpeg functions the movie layer decodes with, taken from the libraries (dlopen) when the first movie opens
// or when DShowPreloadAv asks: FFmpeg and the hundred-odd libraries it depends on are then not mapped and relocated
// when a program starts (tens of milliseconds), only when it plays a movie or preloads them while it waits anyway.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>

#include "Platform/DShow/DShowPreload.h"

// Library (0 avformat, 1 avcodec, 2 avutil, 3 swscale, 4 swresample) and name of every function taken.
#define DSHOW_AV_FUNCTIONS(X)                                                                                      \
  X(0, avformat_open_input) X(0, avformat_find_stream_info) X(0, avformat_close_input) X(0, avformat_seek_file)   \
  X(0, av_find_best_stream) X(0, av_read_frame) X(0, av_seek_frame) X(0, avformat_alloc_context)                 \
  X(0, avio_alloc_context) X(0, avio_context_free) X(0, av_probe_input_buffer2) X(2, av_malloc) X(2, av_freep)    \
  X(2, av_dict_set) X(2, av_dict_free) X(1, avcodec_find_decoder)                                                 \
  X(1, avcodec_alloc_context3) X(1, avcodec_parameters_to_context) X(1, avcodec_open2) X(1, avcodec_free_context) \
  X(1, avcodec_send_packet) X(1, avcodec_receive_frame) X(1, avcodec_flush_buffers) X(1, av_packet_alloc)        \
  X(1, av_packet_free) X(1, av_packet_unref) X(2, av_strerror) X(2, av_frame_alloc) X(2, av_frame_free)          \
  X(2, av_frame_unref) X(2, av_reduce) X(2, av_channel_layout_default) X(3, sws_getCachedContext)                \
  X(3, sws_scale) X(3, sws_freeContext) X(4, swr_alloc_set_opts2) X(4, swr_init) X(4, swr_free)                  \
  X(4, swr_get_out_samples) X(4, swr_convert)

struct SDShowAv {
#define DSHOW_AV_MEMBER(iLibrary, name) decltype(&::name) name = nullptr;
  DSHOW_AV_FUNCTIONS(DSHOW_AV_MEMBER)
#undef DSHOW_AV_MEMBER
};

// The functions, the libraries opened the first time (from any thread); null when a library or a function is
// missing, with what is missing in DShowAvProblem.
const SDShowAv* DShowAv();
const std::string& DShowAvProblem();

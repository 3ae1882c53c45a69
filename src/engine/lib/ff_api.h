#pragma once
// The FFmpeg entry points the engine uses, resolved at run time by TFFLoader.
//
// The engine is built against the FFmpeg 5.1 headers but never linked to the
// libraries: every call goes through the table FF, filled by name from the
// shared objects the loader opens. Adding an entry point is one line in the
// list below: X(library, function). The library is the one whose handle the
// name is looked up in (and named in the error message when it is missing).
//
// Inline helpers of the headers that call into the libraries (avio_tell,
// av_err2str, ...) cannot be used: the program does not link the libraries, so
// such a call fails at link time. Use the table's functions instead.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/eval.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// The libraries, in load order (each one's dependencies come before it, so a
// library loaded from the search folder finds them already loaded).
enum TLibraryIndex : int {
    liAvUtil = 0,
    liSwResample = 1,
    liAvCodec = 2,
    liAvFormat = 3,
    liSwScale = 4,
    liAvFilter = 5,
    liAvDevice = 6,
    LibraryCount = 7
};

// clang-format off
#define OV_FF_SYMBOLS(X) \
    /* avutil */ \
    X(avutil, av_log) \
    X(avutil, av_log_set_callback) \
    X(avutil, av_max_alloc) \
    X(avutil, av_log_default_callback) \
    X(avutil, av_log_set_level) \
    X(avutil, av_log_get_level) \
    X(avutil, av_malloc) \
    X(avutil, av_mallocz) \
    X(avutil, av_realloc) \
    X(avutil, av_free) \
    X(avutil, av_freep) \
    X(avutil, av_strdup) \
    X(avutil, av_strerror) \
    X(avutil, av_gettime) \
    X(avutil, av_gettime_relative) \
    X(avutil, av_rescale) \
    X(avutil, av_rescale_rnd) \
    X(avutil, av_rescale_q) \
    X(avutil, av_rescale_q_rnd) \
    X(avutil, av_compare_ts) \
    X(avutil, av_gcd) \
    X(avutil, av_reduce) \
    X(avutil, av_d2q) \
    X(avutil, av_find_nearest_q_idx) \
    X(avutil, av_get_media_type_string) \
    X(avutil, av_frame_alloc) \
    X(avutil, av_frame_free) \
    X(avutil, av_frame_ref) \
    X(avutil, av_frame_unref) \
    X(avutil, av_frame_move_ref) \
    X(avutil, av_frame_get_buffer) \
    X(avutil, av_frame_make_writable) \
    X(avutil, av_frame_copy_props) \
    X(avutil, av_get_pix_fmt) \
    X(avutil, av_get_pix_fmt_name) \
    X(avutil, av_pix_fmt_desc_get) \
    X(avutil, av_pix_fmt_desc_next) \
    X(avutil, av_get_sample_fmt) \
    X(avutil, av_get_sample_fmt_name) \
    X(avutil, av_get_bytes_per_sample) \
    X(avutil, av_sample_fmt_is_planar) \
    X(avutil, av_get_packed_sample_fmt) \
    X(avutil, av_samples_set_silence) \
    X(avutil, av_samples_alloc) \
    X(avutil, av_samples_get_buffer_size) \
    X(avutil, av_audio_fifo_alloc) \
    X(avutil, av_audio_fifo_free) \
    X(avutil, av_audio_fifo_write) \
    X(avutil, av_audio_fifo_read) \
    X(avutil, av_audio_fifo_size) \
    X(avutil, av_audio_fifo_drain) \
    X(avutil, av_audio_fifo_reset) \
    X(avutil, av_channel_layout_default) \
    X(avutil, av_channel_layout_copy) \
    X(avutil, av_channel_layout_uninit) \
    X(avutil, av_channel_layout_compare) \
    X(avutil, av_channel_layout_describe) \
    X(avutil, av_channel_layout_check) \
    X(avutil, av_dict_get) \
    X(avutil, av_dict_set) \
    X(avutil, av_dict_copy) \
    X(avutil, av_dict_free) \
    X(avutil, av_dict_count) \
    X(avutil, av_image_copy) \
    X(avutil, av_image_fill_arrays) \
    X(avutil, av_image_get_buffer_size) \
    X(avutil, av_image_check_size) \
    X(avutil, av_image_fill_black) \
    X(avutil, av_display_rotation_get) \
    X(avutil, av_parse_video_rate) \
    X(avutil, av_parse_video_size) \
    X(avutil, av_parse_time) \
    X(avutil, av_opt_set) \
    X(avutil, av_opt_set_int) \
    X(avutil, av_opt_get) \
    X(avutil, av_opt_get_int) \
    X(avutil, av_opt_find) \
    X(avutil, av_opt_find2) \
    X(avutil, av_opt_next) \
    X(avutil, av_opt_child_class_iterate) \
    X(avutil, av_opt_set_defaults) \
    X(avutil, av_opt_free) \
    /* swresample */ \
    X(swresample, swr_alloc_set_opts2) \
    X(swresample, swr_init) \
    X(swresample, swr_free) \
    X(swresample, swr_convert) \
    X(swresample, swr_get_delay) \
    X(swresample, swr_get_out_samples) \
    X(swresample, swr_set_compensation) \
    X(swresample, swr_get_class) \
    /* avcodec */ \
    X(avcodec, avcodec_find_decoder) \
    X(avcodec, avcodec_find_decoder_by_name) \
    X(avcodec, avcodec_find_encoder) \
    X(avcodec, avcodec_find_encoder_by_name) \
    X(avcodec, av_codec_iterate) \
    X(avcodec, av_codec_is_encoder) \
    X(avcodec, av_codec_is_decoder) \
    X(avcodec, avcodec_get_name) \
    X(avcodec, avcodec_profile_name) \
    X(avcodec, avcodec_descriptor_get) \
    X(avcodec, avcodec_descriptor_get_by_name) \
    X(avcodec, avcodec_get_class) \
    X(avcodec, avcodec_find_best_pix_fmt_of_list) \
    X(avcodec, avcodec_alloc_context3) \
    X(avcodec, avcodec_free_context) \
    X(avcodec, avcodec_open2) \
    X(avcodec, avcodec_is_open) \
    X(avcodec, avcodec_parameters_alloc) \
    X(avcodec, avcodec_parameters_free) \
    X(avcodec, avcodec_parameters_copy) \
    X(avcodec, avcodec_parameters_to_context) \
    X(avcodec, avcodec_parameters_from_context) \
    X(avcodec, avcodec_send_packet) \
    X(avcodec, avcodec_receive_frame) \
    X(avcodec, avcodec_send_frame) \
    X(avcodec, avcodec_receive_packet) \
    X(avcodec, avcodec_flush_buffers) \
    X(avcodec, avcodec_decode_subtitle2) \
    X(avcodec, avcodec_encode_subtitle) \
    X(avcodec, avsubtitle_free) \
    X(avcodec, av_packet_alloc) \
    X(avcodec, av_packet_free) \
    X(avcodec, av_packet_ref) \
    X(avcodec, av_packet_unref) \
    X(avcodec, av_packet_rescale_ts) \
    X(avcodec, av_new_packet) \
    X(avcodec, av_packet_copy_props) \
    X(avcodec, av_packet_get_side_data) \
    X(avcodec, av_get_bits_per_sample) \
    X(avcodec, av_get_audio_frame_duration2) \
    X(avcodec, av_bsf_get_by_name) \
    X(avcodec, av_bsf_alloc) \
    X(avcodec, av_bsf_init) \
    X(avcodec, av_bsf_send_packet) \
    X(avcodec, av_bsf_receive_packet) \
    X(avcodec, av_bsf_free) \
    /* avformat */ \
    X(avformat, avformat_alloc_context) \
    X(avformat, avformat_alloc_output_context2) \
    X(avformat, avformat_free_context) \
    X(avformat, avformat_open_input) \
    X(avformat, avformat_close_input) \
    X(avformat, avformat_find_stream_info) \
    X(avformat, avformat_new_stream) \
    X(avformat, av_stream_new_side_data) \
    X(avformat, avformat_write_header) \
    X(avformat, avformat_query_codec) \
    X(avformat, avformat_get_class) \
    X(avformat, av_find_input_format) \
    X(avformat, av_guess_format) \
    X(avformat, av_guess_codec) \
    X(avformat, av_stream_get_side_data) \
    X(avformat, av_muxer_iterate) \
    X(avformat, av_demuxer_iterate) \
    X(avformat, av_read_frame) \
    X(avformat, av_seek_frame) \
    X(avformat, avformat_seek_file) \
    X(avformat, av_interleaved_write_frame) \
    X(avformat, av_write_trailer) \
    X(avformat, av_dump_format) \
    X(avformat, av_filename_number_test) \
    X(avformat, av_sdp_create) \
    X(avformat, av_codec_get_id) \
    X(avformat, av_codec_get_tag) \
    X(avformat, av_pkt_dump_log2) \
    X(avformat, av_hex_dump_log) \
    X(avformat, avio_open2) \
    X(avformat, avio_closep) \
    X(avformat, avio_size) \
    X(avformat, avio_seek) \
    X(avformat, avio_feof) \
    X(avformat, avio_flush) \
    X(avformat, avio_alloc_context) \
    X(avformat, avio_context_free) \
    X(avformat, avformat_network_init) \
    /* swscale */ \
    X(swscale, sws_getCachedContext) \
    X(swscale, sws_scale) \
    X(swscale, sws_freeContext) \
    X(swscale, sws_get_class) \
    X(swscale, sws_alloc_context) \
    X(swscale, sws_init_context) \
    /* avfilter */ \
    X(avfilter, avfilter_get_by_name) \
    X(avfilter, avfilter_graph_alloc) \
    X(avfilter, avfilter_graph_free) \
    X(avfilter, avfilter_graph_create_filter) \
    X(avfilter, avfilter_graph_parse_ptr) \
    X(avfilter, avfilter_graph_config) \
    X(avfilter, avfilter_inout_alloc) \
    X(avfilter, avfilter_inout_free) \
    X(avfilter, av_buffersrc_add_frame_flags) \
    X(avfilter, av_buffersink_get_frame) \
    X(avfilter, av_buffersink_get_time_base) \
    /* avdevice */ \
    X(avdevice, avdevice_register_all)
// clang-format on

// The table of entry points. Every member is null until its library is loaded.
struct TFFApi {
#define OV_FF_MEMBER(lib, name) decltype(&::name) name = nullptr;
    OV_FF_SYMBOLS(OV_FF_MEMBER)
#undef OV_FF_MEMBER
};

extern TFFApi FF;

#include "tools/fixtures.h"

#include <ogg/ogg.h>
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <opusenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace fixtures {
namespace {

void append(bytes& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

// A comment header carrying the given vendor text and one user comment.
bytes commentpacket(const std::string& vendor) {
  bytes p = {3, 'v', 'o', 'r', 'b', 'i', 's'};
  auto put32 = [&p](uint32_t v) {
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(static_cast<uint32_t>(vendor.size()));
  p.insert(p.end(), vendor.begin(), vendor.end());
  const std::string title = "TITLE=fixture";
  put32(1);
  put32(static_cast<uint32_t>(title.size()));
  p.insert(p.end(), title.begin(), title.end());
  p.push_back(1);  // framing bit
  return p;
}

// Deterministic test sound: a tone per channel plus some noise.
struct signal {
  uint32_t state = 12345;
  float next_noise() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
  }
};

}  // namespace

stream encode(const sound& s) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  vorbis_encode_init_vbr(&vi, s.channels, s.rate, s.quality);
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  if (s.comments.empty()) vorbis_comment_add_tag(&vc, "TITLE", "fixture");
  for (const std::string& comment : s.comments) vorbis_comment_add(&vc, comment.c_str());
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, static_cast<int>(s.serial));

  stream out;
  ogg_packet id, comm, code;
  vorbis_analysis_headerout(&vd, &vc, &id, &comm, &code);
  bytes customcomment;
  if (!s.vendor.empty()) {
    customcomment = commentpacket(s.vendor);
    comm.packet = customcomment.data();
    comm.bytes = static_cast<long>(customcomment.size());
  }
  // Each header on pages of its own, so that files can be cut inside one.
  ogg_page page;
  ogg_stream_packetin(&os, &id);
  while (ogg_stream_flush(&os, &page)) append(out.data, page);
  out.commentpage = out.data.size();
  ogg_stream_packetin(&os, &comm);
  while (ogg_stream_flush(&os, &page)) append(out.data, page);
  out.codebookpage = out.data.size();
  ogg_stream_packetin(&os, &code);
  while (ogg_stream_flush(&os, &page)) append(out.data, page);
  out.audiostart = out.data.size();

  signal sig;
  const long total = static_cast<long>(s.seconds * s.rate);
  long done = 0;
  bool finished = false;
  while (!finished) {
    const long n = std::min(1024L, total - done);
    if (n <= 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
      for (long j = 0; j < n; ++j) {
        const double t = static_cast<double>(done + j) / s.rate;
        for (int k = 0; k < s.channels; ++k)
          buffer[k][j] = static_cast<float>(s.amplitude * std::sin(2 * M_PI * (s.pitch + 110.0 * k) * t)) +
                         s.noise * sig.next_noise();
      }
      vorbis_analysis_wrote(&vd, static_cast<int>(n));
      done += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &page)) {
          out.audiopages.push_back(out.data.size());
          append(out.data, page);
          if (ogg_page_eos(&page)) finished = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

bytes encodeflac(const sound& s, int bits, bool ogg, std::size_t picturebytes) {
  // The encoder writes, and goes back to fill in STREAMINFO at the end.
  struct sink {
    bytes data;
    std::size_t at = 0;
  } out;
  auto write = [](const FLAC__StreamEncoder*, const FLAC__byte buffer[], std::size_t n, uint32_t, uint32_t,
                  void* data) {
    auto& to = *static_cast<sink*>(data);
    if (to.data.size() < to.at + n) to.data.resize(to.at + n);
    std::memcpy(to.data.data() + to.at, buffer, n);
    to.at += n;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  };
  auto seek = [](const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data) {
    static_cast<sink*>(data)->at = static_cast<std::size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
  };
  auto tell = [](const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data) {
    *offset = static_cast<sink*>(data)->at;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
  };
  auto read = [](const FLAC__StreamEncoder*, FLAC__byte buffer[], std::size_t* n, void* data) {
    auto& from = *static_cast<sink*>(data);
    *n = std::min(*n, from.data.size() - std::min(from.at, from.data.size()));
    if (*n == 0) return FLAC__STREAM_ENCODER_READ_STATUS_END_OF_STREAM;
    std::memcpy(buffer, from.data.data() + from.at, *n);
    from.at += *n;
    return FLAC__STREAM_ENCODER_READ_STATUS_CONTINUE;
  };
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(encoder, static_cast<uint32_t>(s.channels));
  FLAC__stream_encoder_set_bits_per_sample(encoder, static_cast<uint32_t>(bits));
  FLAC__stream_encoder_set_sample_rate(encoder, static_cast<uint32_t>(s.rate));
  FLAC__stream_encoder_set_compression_level(encoder, 5);
  if (ogg) FLAC__stream_encoder_set_ogg_serial_number(encoder, static_cast<long>(s.serial));
  const long total = static_cast<long>(s.seconds * s.rate);
  FLAC__stream_encoder_set_total_samples_estimate(encoder, static_cast<FLAC__uint64>(total));

  FLAC__StreamMetadata* blocks[2] = {};
  int count = 0;
  if (picturebytes > 0) {
    FLAC__StreamMetadata* picture = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE);
    std::vector<FLAC__byte> image(picturebytes, 0x5a);
    FLAC__metadata_object_picture_set_mime_type(picture, const_cast<char*>("image/png"), true);
    FLAC__metadata_object_picture_set_data(picture, image.data(), static_cast<FLAC__uint32>(image.size()), true);
    blocks[count++] = picture;
  }
  FLAC__StreamMetadata* comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  std::vector<std::string> texts = s.comments.empty() ? std::vector<std::string>{"TITLE=fixture"} : s.comments;
  for (const std::string& text : texts) {
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    entry.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(text.c_str()));
    entry.length = static_cast<FLAC__uint32>(text.size());
    FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, true);
  }
  blocks[count++] = comments;
  FLAC__stream_encoder_set_metadata(encoder, blocks, static_cast<uint32_t>(count));

  const bool ready = ogg ? FLAC__stream_encoder_init_ogg_stream(encoder, read, write, seek, tell, nullptr, &out) ==
                               FLAC__STREAM_ENCODER_INIT_STATUS_OK
                         : FLAC__stream_encoder_init_stream(encoder, write, seek, tell, nullptr, &out) ==
                               FLAC__STREAM_ENCODER_INIT_STATUS_OK;
  if (ready) {
    signal sig;
    const double full = std::ldexp(1.0, bits - 1) - 1;
    std::vector<FLAC__int32> pcm(static_cast<std::size_t>(total) * static_cast<std::size_t>(s.channels));
    for (long j = 0; j < total; ++j) {
      const double t = static_cast<double>(j) / s.rate;
      for (int k = 0; k < s.channels; ++k) {
        const double x = s.amplitude * std::sin(2 * M_PI * (s.pitch + 110.0 * k) * t) + s.noise * sig.next_noise();
        pcm[static_cast<std::size_t>(j * s.channels + k)] = static_cast<FLAC__int32>(std::lround(std::clamp(x, -1.0, 1.0) * full));
      }
    }
    FLAC__stream_encoder_process_interleaved(encoder, pcm.data(), static_cast<uint32_t>(total));
    FLAC__stream_encoder_finish(encoder);
  }
  FLAC__stream_encoder_delete(encoder);
  for (int i = 0; i < count; ++i) FLAC__metadata_object_delete(blocks[i]);
  return ready ? out.data : bytes{};
}

bytes encodeopus(const sound& s) {
  bytes out;
  OpusEncCallbacks callbacks = {
      [](void* user, const unsigned char* data, opus_int32 length) {
        auto* to = static_cast<bytes*>(user);
        to->insert(to->end(), data, data + length);
        return 0;
      },
      [](void*) { return 0; }};
  OggOpusComments* comments = ope_comments_create();
  if (s.comments.empty()) ope_comments_add(comments, "TITLE", "fixture");
  for (const std::string& comment : s.comments) {
    const std::size_t equals = comment.find('=');
    if (equals != std::string::npos)
      ope_comments_add(comments, comment.substr(0, equals).c_str(), comment.substr(equals + 1).c_str());
  }
  int error = 0;
  OggOpusEnc* encoder = ope_encoder_create_callbacks(&callbacks, &out, comments, s.rate, s.channels,
                                                     s.channels > 2 ? 1 : 0, &error);
  if (!encoder) {
    ope_comments_destroy(comments);
    return out;
  }
  // A fixed serial number: the same file every time.
  ope_encoder_ctl(encoder, OPE_SET_SERIALNO(static_cast<opus_int32>(s.serial)));
  signal sig;
  const long total = static_cast<long>(s.seconds * s.rate);
  std::vector<float> pcm(static_cast<std::size_t>(total) * static_cast<std::size_t>(s.channels));
  for (long j = 0; j < total; ++j) {
    const double t = static_cast<double>(j) / s.rate;
    for (int k = 0; k < s.channels; ++k)
      pcm[static_cast<std::size_t>(j * s.channels + k)] =
          static_cast<float>(s.amplitude * std::sin(2 * M_PI * (s.pitch + 110.0 * k) * t)) + s.noise * sig.next_noise();
  }
  ope_encoder_write_float(encoder, pcm.data(), static_cast<int>(total));
  ope_encoder_drain(encoder);
  ope_encoder_destroy(encoder);
  ope_comments_destroy(comments);
  return out;
}

bytes makepage(uint32_t serial, uint32_t sequence, int64_t granule, uint8_t flags,
               const std::vector<uint8_t>& lacing, const bytes& body, uint8_t version) {
  bytes header = {'O', 'g', 'g', 'S', version, flags};
  for (int i = 0; i < 8; ++i) header.push_back(static_cast<uint8_t>(static_cast<uint64_t>(granule) >> (8 * i)));
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(serial >> (8 * i)));
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(sequence >> (8 * i)));
  for (int i = 0; i < 4; ++i) header.push_back(0);  // checksum, set below
  header.push_back(static_cast<uint8_t>(lacing.size()));
  header.insert(header.end(), lacing.begin(), lacing.end());
  bytes bodycopy = body;
  ogg_page page;
  page.header = header.data();
  page.header_len = static_cast<long>(header.size());
  page.body = bodycopy.data();
  page.body_len = static_cast<long>(bodycopy.size());
  ogg_page_checksum_set(&page);
  header.insert(header.end(), bodycopy.begin(), bodycopy.end());
  return header;
}

bytes garbage(std::size_t size, uint32_t seed) {
  bytes out(size);
  for (auto& b : out) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
    if (b == 'O') b = 'o';
  }
  return out;
}

bool writefile(const std::string& path, const bytes& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::string> writeall(const std::string& dir) {
  std::vector<std::pair<std::string, bytes>> files;
  auto add = [&files](const std::string& name, bytes data) { files.emplace_back(name, std::move(data)); };

  for (int channels : {1, 2})
    for (int rate : {22050, 44100, 48000}) {
      sound s;
      s.rate = rate;
      s.channels = channels;
      add((channels == 1 ? "mono" : "stereo") + std::to_string(rate) + ".ogg", encode(s).data);
    }

  sound shortsound;
  shortsound.seconds = 0.2;  // well under one 100000-byte block
  add("short.ogg", encode(shortsound).data);

  sound longsound;
  longsound.seconds = 200;
  longsound.quality = 0.0f;
  add("long.ogg", encode(longsound).data);

  // Two links that differ in rate and channel count.
  sound first;
  first.seconds = 2;
  sound second;
  second.seconds = 2;
  second.rate = 22050;
  second.channels = 1;
  second.serial = 2;
  bytes chained = encode(first).data;
  bytes link2 = encode(second).data;
  chained.insert(chained.end(), link2.begin(), link2.end());
  add("chained.ogg", chained);

  const std::string notvorbis = "\x01notvorbis-but-a-valid-ogg-packet";
  add("notvorbis.ogg", makepage(7, 0, 0, 0x02, {static_cast<uint8_t>(notvorbis.size())},
                                bytes(notvorbis.begin(), notvorbis.end())));
  // A first page of an unknown page version: libogg will not take it.
  add("badversion.ogg", makepage(7, 0, 0, 0x02, {5}, bytes(5, 'x'), 1));
  // A first page whose only packet goes on past it.
  add("partialpacket.ogg", makepage(7, 0, 0, 0x02, {255}, bytes(255, 'y')));

  stream whole = encode(sound{});
  auto cut = [&whole](std::size_t at) { return bytes(whole.data.begin(), whole.data.begin() + static_cast<long>(at)); };
  add("cut-comment.ogg", cut(whole.commentpage + (whole.codebookpage - whole.commentpage) / 2));
  add("cut-codebook.ogg", cut(whole.codebookpage + (whole.audiostart - whole.codebookpage) / 2));

  // Damaged secondary headers whose pages are intact. The comment header
  // claims a vendor text longer than itself; the codebook header loses its
  // sync pattern.
  {
    bytes damaged = commentpacket("fixture vendor");
    damaged[7] = 0xff;
    damaged[10] = 0x7f;
    bytes file(whole.data.begin(), whole.data.begin() + static_cast<long>(whole.commentpage));
    bytes page = makepage(1, 1, 0, 0, {static_cast<uint8_t>(damaged.size())}, damaged);
    file.insert(file.end(), page.begin(), page.end());
    file.insert(file.end(), whole.data.begin() + static_cast<long>(whole.codebookpage), whole.data.end());
    // Sequence numbers still line up: the replaced page was page 1.
    add("bad-comment.ogg", file);
  }
  // Breaks the codebook header's sync pattern ("BCV" after the 7-byte
  // preamble and the count), keeping its page's checksum right.
  auto breakcodebook = [](const stream& s) {
    bytes file = s.data;
    const std::size_t at = s.codebookpage;
    const std::size_t headerlength = 27 + file[at + 26];
    file[at + headerlength + 8] ^= 0xff;  // first byte of "BCV"
    ogg_page page;
    page.header = file.data() + at;
    page.header_len = static_cast<long>(headerlength);
    page.body = file.data() + at + headerlength;
    page.body_len = static_cast<long>(s.audiostart - at - headerlength);
    ogg_page_checksum_set(&page);
    return file;
  };
  add("bad-codebook.ogg", breakcodebook(whole));
  {
    // A good link followed by one whose codebook header is broken: the
    // first plays, the second ends the run. (libvorbisfile's measuring of
    // such a file once lost memory of its own.)
    bytes file = encode(first).data;
    const bytes broken = breakcodebook(encode(second));
    file.insert(file.end(), broken.begin(), broken.end());
    add("chained-badlink.ogg", file);
  }

  add("empty.ogg", bytes{});
  add("garbage-small.bin", garbage(1000, 1));
  add("garbage-large.bin", garbage(10000, 2));

  {
    // More than two reads of garbage follow the last page, so a full
    // 4096-byte read of garbage comes however the pages fall.
    sound s;
    s.seconds = 2;
    bytes file = encode(s).data;
    bytes tail = garbage(10000, 3);
    file.insert(file.end(), tail.begin(), tail.end());
    add("trailing-garbage.ogg", file);
  }
  {
    bytes file = whole.data;
    const std::size_t from = whole.audiopages[whole.audiopages.size() / 2];
    const std::size_t to = whole.audiopages[whole.audiopages.size() / 2 + 1];
    file.erase(file.begin() + static_cast<long>(from), file.begin() + static_cast<long>(to));
    add("page-gap.ogg", file);
  }
  {
    bytes file = whole.data;
    file[whole.audiopages[whole.audiopages.size() / 2] + 40] ^= 0x55;  // checksum now fails
    add("corrupt-page.ogg", file);
  }
  {
    sound s;
    s.seconds = 1;
    s.vendor.assign(5000, 'v');
    for (std::size_t i = 0; i < s.vendor.size(); i += 100) s.vendor[i] = static_cast<char>('A' + (i / 100) % 26);
    add("long-vendor.ogg", encode(s).data);
  }

  {
    // Comments of every kind: a repeated name, names in mixed case, text
    // that is not ASCII, and a value of 3000 bytes of two-byte characters
    // with one of three bytes where the 1000-byte cut falls.
    sound s;
    s.seconds = 1;
    std::string longvalue;
    while (longvalue.size() < 998) longvalue += "\xc3\xa9";  // é
    longvalue += "\xe2\x82\xac";  // €, bytes 998 to 1000
    while (longvalue.size() < 3000) longvalue += "\xc3\xa9";
    s.comments = {"TITLE=\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xe6\xad\x8c",  // Песня 歌
                  "Artist=First", "ARTIST=Second", "LYRICS=" + longvalue, "NOEQUALS"};
    add("tags.ogg", encode(s).data);
  }
  {
    // A station's two songs, told apart by their titles and pitches.
    sound s;
    s.seconds = 3;
    s.noise = 0;
    s.comments = {"TITLE=First Song", "ARTIST=Fixture"};
    add("song1.ogg", encode(s).data);
    s.pitch = 1000;
    s.amplitude = 0.3;
    s.serial = 2;
    s.comments = {"TITLE=Second Song", "ARTIST=Fixture"};
    add("song2.ogg", encode(s).data);
  }
  {
    // A steady tone for measuring levels: no noise, 6 seconds.
    sound s;
    s.seconds = 6;
    s.noise = 0;
    add("tone.ogg", encode(s).data);
    // Another, higher and softer, to play beside it: the two together
    // never reach full scale.
    s.pitch = 1000;
    s.amplitude = 0.3;
    add("tone1000.ogg", encode(s).data);
  }
  {
    // For looping: 1.5 s and one frame, an odd number of frames, so that a
    // seam cannot fall on a round block boundary by chance.
    sound s;
    s.seconds = 66151.5 / 44100;
    add("loop.ogg", encode(s).data);
    // One frame: the shortest file a loop can meet.
    s.seconds = 1.5 / 44100;
    add("oneframe.ogg", encode(s).data);
  }

  {
    // Ogg Opus: 4.000 s of stereo at 48 kHz; 1 s of mono given at 16 kHz;
    // comments; three channels (mapping family 1).
    sound s;
    s.rate = 48000;
    s.seconds = 4;
    s.serial = 2;
    const bytes stereo = encodeopus(s);
    add("stereo.opus", stereo);
    sound mono;
    mono.rate = 16000;
    mono.channels = 1;
    mono.seconds = 1;
    mono.serial = 2;
    const bytes monoopus = encodeopus(mono);
    add("mono16k.opus", monoopus);
    sound tagged = s;
    tagged.seconds = 1;
    tagged.comments = {"TITLE=\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xe6\xad\x8c", "Artist=First", "ARTIST=Second"};
    add("tags.opus", encodeopus(tagged));
    sound three = s;
    three.channels = 3;
    three.seconds = 1;
    add("three.opus", encodeopus(three));
    // A Vorbis link, then an Opus one.
    sound first;
    first.seconds = 0.2;
    bytes mixed = encode(first).data;
    mixed.insert(mixed.end(), monoopus.begin(), monoopus.end());
    add("mixed.ogg", mixed);
    // The stereo file cut in the middle of its sound.
    add("cut.opus", bytes(stereo.begin(), stereo.begin() + static_cast<long>(stereo.size() / 2)));
    // A head of version 16 (a later major version), alone.
    const bytes head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 16, 2, 0x38, 1, 0x80, 0xbb, 0, 0, 0, 0, 0};
    add("badhead.opus", makepage(2, 0, 0, 0x02, {19}, head));
    // A good head, then a comment header whose vendor length runs past its
    // end.
    bytes head0 = head;
    head0[8] = 1;
    const bytes tags = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 0xff, 0xff, 0, 0, 'x'};
    bytes badtags = makepage(2, 0, 0, 0x02, {19}, head0);
    const bytes second = makepage(2, 1, 0, 0x00, {static_cast<uint8_t>(tags.size())}, tags);
    badtags.insert(badtags.end(), second.begin(), second.end());
    add("badtags.opus", badtags);
  }

  {
    // FLAC: 16-bit stereo (native and in Ogg), 24-bit, mono, 5.1, 96 kHz
    // at 24 bits, a large picture in front of the comments; a frame
    // damaged in the middle; the file cut in half; a STREAMINFO cut short
    // and one missing.
    sound s;
    s.seconds = 1;
    s.comments = {"TITLE=Lossless", "ARTIST=Fixture"};
    const bytes stereo = encodeflac(s, 16);
    add("stereo.flac", stereo);
    add("stereo.oga", encodeflac(s, 16, true));
    // Short ones, small enough to seed the fuzzing.
    sound brief = s;
    brief.seconds = 0.15;
    add("short.flac", encodeflac(brief, 16));
    add("short.oga", encodeflac(brief, 24, true));
    add("deep.flac", encodeflac(s, 24));
    sound mono = s;
    mono.channels = 1;
    add("mono.flac", encodeflac(mono, 16));
    sound six = s;
    six.channels = 6;
    six.seconds = 1;
    six.amplitude = 0.15;
    add("six.flac", encodeflac(six, 16));
    sound high = s;
    high.rate = 96000;
    high.seconds = 1;
    add("high.flac", encodeflac(high, 24));
    sound pictured = s;
    pictured.seconds = 0.3;
    add("picture.flac", encodeflac(pictured, 16, false, 1 << 20));
    // One byte of a frame's body changed, well inside the file's sound: the
    // frame's checksum no longer matches.
    bytes damaged = stereo;
    damaged[damaged.size() / 2] ^= 0x55;
    add("damaged.flac", damaged);
    add("cut.flac", bytes(stereo.begin(), stereo.begin() + static_cast<long>(stereo.size() / 2)));
    add("noinfo.flac", bytes(stereo.begin(), stereo.begin() + 12));
    bytes noinfo = {'f', 'L', 'a', 'C', 0x84, 0, 0, 8, 'T', 'O', 'O', 'L', 'A', 'T', 'E', '!'};
    add("nostreaminfo.flac", noinfo);
  }

  std::vector<std::string> names;
  for (const auto& f : files) {
    if (!writefile(dir + "/" + f.first, f.second)) return {};
    names.push_back(f.first);
  }
  return names;
}

}  // namespace fixtures

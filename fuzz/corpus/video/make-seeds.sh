#!/bin/sh
# Makes the seeds of fuzz_video with the ffmpeg program: clips of 32 x 24 pixels and a few
# frames in the containers and codecs phones and cameras use, with the tags they write, and a few
# damaged ones. Run in this folder.
set -e
src="-f lavfi -i testsrc2=size=32x24:rate=10 -t 0.6 -pix_fmt yuv420p"
ff="ffmpeg -hide_banner -loglevel error -y"
x264="-c:v libx264 -preset ultrafast -g 3 -bf 2"
$ff $src $x264 -metadata creation_time=2024-07-12T08:15:00Z h264.mp4
$ff $src $x264 -movflags use_metadata_tags -metadata com.apple.quicktime.creationdate=2024-07-12T10:15:00+0200 \
    -metadata com.apple.quicktime.make=Apple -metadata com.apple.quicktime.model="iPhone 13" apple.mov
# The track header's matrix of an iPhone held upright (this ffmpeg writes none of its own).
python3 - apple.mov <<'PYTHON'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
matrix = data.index(b'tkhd') + 4 + 40
data[matrix:matrix + 36] = struct.pack('>9i', 0, 0x10000, 0, -0x10000, 0, 0, 24 << 16, 0, 0x40000000)
open(sys.argv[1], 'wb').write(data)
PYTHON
$ff $src $x264 -movflags use_metadata_tags -metadata com.android.manufacturer=Google \
    -metadata com.android.model="Pixel 7" -metadata creation_time=2024-07-12T08:15:00Z android.mp4
$ff $src -c:v mpeg4 -g 3 -metadata make=Canon -metadata model="EOS R6" camera.mov
$ff $src -c:v mpeg4 -g 3 -metadata creation_time=2024-07-12T08:15:00Z mpeg4.mkv
$ff $src -c:v libvpx -g 3 -b:v 100k vp8.webm
$ff $src -c:v mpeg4 -g 3 mpeg4.avi
$ff $src -c:v h263 -s 128x96 phone.3gp
$ff $src $x264 transport.mts
$ff $src $x264 -mpegts_m2ts_mode 1 avchd.m2ts
$ff -f lavfi -i testsrc2=size=32x24:rate=10 -t 0.6 -pix_fmt yuv420p -vf "fade=in:0:4" $x264 fade-from-black.mp4
$ff $src $x264 -aspect 16:9 anamorphic.mkv
head -c 1500 h264.mp4 > cut-short.mp4
head -c 2000 transport.mts > cut-short.mts

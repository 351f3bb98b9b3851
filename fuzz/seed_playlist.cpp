// Writes a few small playlists into the folder given as argv[1]: the shape of a
// disc's VPLST000.XPL, and the scanner's corner cases.
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kDisc = R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Disc">
	<MediaAttributeList>
		<VideoAttributeItem index="1" codec="VC-1"/>
		<AudioAttributeItem index="1" codec="DD+" channels="6"/>
		<AudioAttributeItem index="2" codec="DTS-HD" channels="2"/>
		<SubpictureAttributeItem index="1" codec="8bitRLE"/>
	</MediaAttributeList>
	<TitleSet timeBase="60fps">
		<Title id="Menu" displayName="Menu" titleDuration="00:00:30:00">
			<PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_10.MAP">
				<Video track="1" mediaAttr="1"/>
			</PrimaryAudioVideoClip>
		</Title>
		<Title id="Feature" displayName="Feature" titleDuration="01:52:10:12">
			<PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP">
				<Video track="1" mediaAttr="1"/>
				<Audio track="1" streamNumber="2" mediaAttr="1" description="English"/>
				<Subtitle track="1" streamNumber="11" mediaAttr="1" description="Deutsch"/>
			</PrimaryAudioVideoClip>
			<PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP" seamless="true">
				<Audio track="2" streamNumber="3" mediaAttr="2" description="Francais"/>
			</PrimaryAudioVideoClip>
			<ChapterList>
				<Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>
			</ChapterList>
			<TrackNavigationList>
				<AudioTrack track="1" langcode="en:00"/>
			</TrackNavigationList>
		</Title>
	</TitleSet>
</Playlist>
)";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_playlist FOLDER\n";
        return 2;
    }
    const std::vector<std::pair<std::string, std::string>> seeds{
        {"disc.XPL", kDisc},
        {"nesting.XPL", "<a><b/></a>"},
        {"blanks.XPL", "<Title\r\n displayName=\"x  y\"\ttitleDuration=\"1\">FEATURE_1</Title>"},
        {"comment.XPL", "<?xml version=\"1.0\"?><!-- c --><!DOCTYPE p><r>x>y</r>"},
        {"quotes.XPL", "<Title displayName='a' titleDuration=\"b\"><Audio streamNumber=\" -3\" "
                       "description=\"FEATURE_1\"/></Title>"},
    };
    for (const auto& [name, content] : seeds)
        std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary) << content;
    return 0;
}

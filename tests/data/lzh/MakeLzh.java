// Writes an LZH archive with jlha's Java library, for methods the jlha command cannot choose.
// Usage: java MakeLzh out.lzh -lh1- <header level> file-or-folder...
import java.io.File;
import java.io.FileOutputStream;
import java.nio.file.Files;
import java.util.Date;
import jp.gr.java_conf.dangan.util.lha.CompressMethod;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaOutputStream;

public class MakeLzh {
  public static void main(String[] args) throws Exception {
    String method = args[1];
    int level = Integer.parseInt(args[2]);
    try (LhaOutputStream out = new LhaOutputStream(new FileOutputStream(args[0]))) {
      for (int i = 3; i < args.length; i++) {
        File f = new File(args[i]);
        LhaHeader h = new LhaHeader(args[i] + (f.isDirectory() ? "/" : ""), new Date(f.lastModified()));
        h.setHeaderLevel(level);
        if (f.isDirectory()) {
          h.setCompressMethod(CompressMethod.LHD);
          out.putNextEntry(h);
          out.closeEntry();
          continue;
        }
        h.setCompressMethod(method);
        out.putNextEntry(h);
        out.write(Files.readAllBytes(f.toPath()));
        out.closeEntry();
      }
    }
  }
}

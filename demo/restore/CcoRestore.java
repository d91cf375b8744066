package demo;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

/**
 * The restore tool of the demo installation: gives the installation a new POS
 * prefix and regenerates its hardware key.
 *
 * Usage: CCO_Restore.jar -ccoPath DIR -prefix PREFIX
 *        CCO_Restore.jar -ccoPath DIR -interactive   (asks for the prefix)
 * A prefix is 1 to 16 letters, digits or dashes. Exit code 0 on success, 2 on
 * wrong arguments or a bad prefix, 1 when the configuration cannot be written.
 */
public final class CcoRestore {
    public static void main(String[] args) {
        String ccoPath = null;
        String prefix = null;
        boolean interactive = false;
        for (int i = 0; i < args.length; i++) {
            if ("-ccoPath".equals(args[i]) && i + 1 < args.length) {
                ccoPath = args[++i];
            } else if ("-prefix".equals(args[i])) {
                prefix = i + 1 < args.length ? args[++i] : "";
            } else if ("-interactive".equals(args[i])) {
                interactive = true;
            } else {
                fail(2, "Unexpected argument: " + args[i]);
            }
        }
        if (ccoPath == null)
            fail(2, "Usage: CCO_Restore.jar -ccoPath DIR (-prefix PREFIX | -interactive)");
        if (prefix == null && interactive)
            prefix = ask("New POS prefix: ");
        if (prefix == null)
            fail(2, "No prefix given.");
        if (!prefix.matches("[A-Za-z0-9-]{1,16}"))
            fail(2, "Invalid prefix \"" + prefix + "\": use 1 to 16 letters, digits or dashes.");

        Path installation = Path.of(ccoPath);
        if (!Files.isDirectory(installation))
            fail(1, "No CCO installation at " + installation);
        Path config = installation.resolve("config/pos.properties");
        String key = Long.toHexString(Double.doubleToLongBits(Math.random()));
        try {
            Files.createDirectories(config.getParent());
            Path temporary = config.resolveSibling("pos.properties.new");
            Files.writeString(temporary, "prefix=" + prefix + "\nhardwareKey=" + key + "\n",
                    StandardCharsets.UTF_8);
            Files.move(temporary, config, StandardCopyOption.REPLACE_EXISTING,
                    StandardCopyOption.ATOMIC_MOVE);
        } catch (IOException e) {
            fail(1, "Cannot write " + config + ": " + e.getMessage());
        }
        System.out.println("POS prefix set to " + prefix + " in " + config);
        System.out.println("Hardware key regenerated: " + key);
    }

    static String ask(String question) {
        System.out.print(question);
        System.out.flush();
        try {
            String line = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8))
                    .readLine();
            return line == null ? null : line.trim();
        } catch (IOException e) {
            return null;
        }
    }

    static void fail(int code, String message) {
        System.err.println("CCO restore: " + message);
        System.exit(code);
    }
}

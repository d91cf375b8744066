package demo;

import java.io.IOException;
import java.io.InputStream;
import java.net.HttpURLConnection;
import java.net.URL;
import java.nio.charset.StandardCharsets;

/**
 * Checks that CCO's web interface answers at its address.
 *
 * Usage: ui-test-1.0-SNAPSHOT.jar [URL]. Prints what it found; exit code 0
 * when the page answers with status 200, 1 otherwise.
 */
public final class UiTest {
    public static void main(String[] args) {
        String address = args.length > 0 ? args[0] : "http://127.0.0.1:9999/";
        try {
            HttpURLConnection connection = (HttpURLConnection) new URL(address).openConnection();
            connection.setConnectTimeout(5000);
            connection.setReadTimeout(5000);
            int status = connection.getResponseCode();
            String body;
            try (InputStream in = connection.getInputStream()) {
                body = new String(in.readAllBytes(), StandardCharsets.UTF_8);
            }
            String title = body.replaceAll("(?s).*<title>(.*?)</title>.*", "$1");
            System.out.println(address + " answered " + status + (body.contains("<title>")
                    ? ", page \"" + title + "\"" : ""));
            System.exit(status == 200 ? 0 : 1);
        } catch (IOException e) {
            System.out.println(address + " does not answer: " + e.getMessage());
            System.exit(1);
        }
    }
}
